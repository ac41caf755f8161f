// Poll Size, Loop Detect, DisDetect, the port choice, the reconnect step, the
// 2-second timer and the hidden flash-save button.
#include <cctype>
#include <cstring>

#include "panel/app/flash_save_dlg.h"
#include "panel/app/panel_dlg.h"
#include "panel/link/protocol.h"
#include "panel/resources/resource.h"

int g_nHiddenClicks = 0;

BEGIN_MESSAGE_MAP(CFlashSaveDlg, CDialog)
END_MESSAGE_MAP()

namespace {
constexpr int PORT_ENTRY_MAX = 79;
constexpr int HIDDEN_CLICKS_TO_ASK = 3;
}  // namespace

void CPanelDlg::ApplyPattern(ButtonPattern pattern) {
    switch (pattern) {
    case ButtonPattern::SizePoll:
        SetButtonEnabled(m_btnPollSize, FALSE);
        SetButtonEnabled(m_btnLoopDetect, FALSE);
        SetButtonEnabled(m_btnDisDetect, TRUE);
        SetButtonEnabled(m_btnScaling, FALSE);
        break;
    case ButtonPattern::Looping:
        SetButtonEnabled(m_btnPollSize, FALSE);
        SetButtonEnabled(m_btnLoopDetect, FALSE);
        SetButtonEnabled(m_btnDisDetect, TRUE);
        SetButtonEnabled(m_btnScaling, FALSE);
        SetButtonEnabled(m_btnAbout, FALSE);
        break;
    case ButtonPattern::Stopped:
        SetButtonEnabled(m_btnPollSize, TRUE);
        SetButtonEnabled(m_btnLoopDetect, TRUE);
        SetButtonEnabled(m_btnDisDetect, FALSE);
        SetButtonEnabled(m_btnScaling, TRUE);
        SetButtonEnabled(m_btnAbout, TRUE);
        break;
    case ButtonPattern::SizeReceived:
        SetButtonEnabled(m_btnPollSize, TRUE);
        SetButtonEnabled(m_btnLoopDetect, TRUE);
        SetButtonEnabled(m_btnDisDetect, FALSE);
        SetButtonEnabled(m_btnScaling, TRUE);
        break;
    }
}

BOOL CPanelDlg::ReconnectPort() {
    if (PortIsOpen(m_pPort) || m_bPortChanged) {
        m_bPortChanged = 0;
        if (PortIsOpen(m_pPort)) ClosePort(m_pPort);
        SetPortOpen(m_pPort, 0);
    }
    return OpenPort(m_pPort);
}

void CPanelDlg::OnPollSize() {
    if (!m_pPort) return;
    g_bSizeReceived = 0;
    g_nRequestType = REQ_SIZE;
    if (!ReconnectPort()) return;
    SendRequest(m_pPort);
    ApplyPattern(ButtonPattern::SizePoll);
}

void CPanelDlg::OnLoopDetect() {
    if (!m_pPort) return;
    g_nRequestType = REQ_PANEL;
    if (PortIsOpen(m_pPort) && m_bPortChanged) {
        m_bPortChanged = 0;
        ClosePort(m_pPort);
        SetPortOpen(m_pPort, 0);
    }
    if (!PortIsOpen(m_pPort) && !OpenPort(m_pPort)) return;
    SendRequest(m_pPort);
    ApplyPattern(ButtonPattern::Looping);
    m_bLoopDetect = 1;
}

void CPanelDlg::OnDisDetect() {
    if (!m_pPort) return;
    StopReader();
    if (PortIsOpen(m_pPort)) ClosePort(m_pPort);
    SetPortOpen(m_pPort, 0);
    m_bLoopDetect = 0;
    ApplyPattern(ButtonPattern::Stopped);
    g_nRequestType = REQ_NONE;
}

void CPanelDlg::OnSelchangePort() {
    if (!m_pPort) return;
    int index = m_cbPort.GetCurSel();
    // Entries are names such as COM12; a longer one cannot be a port of ours.
    if (index < 0 || m_cbPort.SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index)) > PORT_ENTRY_MAX) return;
    char entry[PORT_ENTRY_MAX + 1] = {};
    m_cbPort.SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(entry));
    // The number after "COM"; only its low 8 bits are kept, so count modulo 256.
    unsigned number = 0;
    const char* digits = std::strlen(entry) > 3 ? entry + 3 : "";
    for (const char* p = digits; std::isdigit(static_cast<unsigned char>(*p)); ++p)
        number = (number * 10 + static_cast<unsigned>(*p - '0')) % 256;
    m_pPort->nPortNumber = static_cast<BYTE>(number);
    m_bPortChanged = 1;
}

void CALLBACK PanelTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    CPanelDlg* panel = g_pPanelDlg;
    if (!panel || !panel->m_pPort) return;
    if (panel->m_bLoopDetect == 1 && g_nRequestType != REQ_SIZE)
        SendRequest(panel->m_pPort);
    else if (panel->m_bLoopDetect == 0 && g_bSizeReceived == 0 && g_nRequestType == REQ_SIZE)
        SendRequest(panel->m_pPort);
}

void CPanelDlg::OnHiddenButton() {
    if (m_bLoopDetect != 1) ++g_nHiddenClicks;
    if (g_nHiddenClicks < HIDDEN_CLICKS_TO_ASK) return;
    g_nHiddenClicks = 0;
    CFlashSaveDlg confirm;
    if (confirm.DoModal() != IDOK) return;
    if (!m_pPort) return;
    g_nRequestType = REQ_SAVE_FLASH;
    if (!ReconnectPort()) {
        AfxMessageBox(IDS_CONNECTING_ERROR, MB_ICONWARNING);
        return;
    }
    SendRequest(m_pPort);
}
