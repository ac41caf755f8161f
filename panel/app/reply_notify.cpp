// The reader's notification: one reply taken from the receive buffer, parsed,
// and shown in the panel's labels and the shared protocol values.
#include "panel/app/panel_dlg.h"
#include "panel/link/protocol.h"
#include "panel/link/reply.h"

namespace {

CString Word(UINT id) {
    CString text;
    text.LoadString(id);
    return text;
}

}  // namespace

void CPanelDlg::OnReplyNotify() {
    if (g_bDataArrived.load() != 1) return;
    InterpretReply();
    UpdateData(FALSE);
    g_bDataArrived.store(0);
    if (m_bLoopDetect == 0 && g_bSizeReceived == 1) ApplyPattern(ButtonPattern::SizeReceived);
}

void CPanelDlg::InterpretReply() {
    ReplyRecord reply = ParseReply(TakeReply());
    switch (reply.kind) {
    case REPLY_NONE: break;
    case REPLY_PANEL:
        m_strMediaWeight = Word(reply.nMediaWeightWord);
        m_strForce = reply.strForce;
        m_strOffset = reply.strOffset;
        m_strQuality = Word(reply.nQualityWord);
        m_strSmooth = Word(reply.nSmoothWord);
        m_strAutoUnroll = Word(reply.nAutoUnrollWord);
        if (reply.nMediaType) {
            m_strMediaType = Word(reply.nMediaTypeWord);
            g_nMediaType = reply.nMediaType;
        }
        break;
    case REPLY_SIZE:
        m_strSizeX = reply.strSizeX;
        m_strSizeY = reply.strSizeY;
        g_bSizeReceived = 1;
        break;
    case REPLY_FACTORS:
        m_strFactorX = reply.strFactorX;
        m_strFactorY = reply.strFactorY;
        g_nFactorX = reply.nFactorX;
        g_nFactorY = reply.nFactorY;
        g_bFactorsRead.store(1);
        break;
    case REPLY_FIRMWARE:
        m_strModel = reply.strModel;
        m_strVersion = reply.strVersion;
        ShowAboutBox();
        break;
    }
}
