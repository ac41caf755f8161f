#include "panel/app/panel_dlg.h"

#include "panel/link/protocol.h"
#include "panel/resources/resource.h"
#include "platform/serial/win_ports.h"

CPanelDlg* g_pPanelDlg = nullptr;

BEGIN_MESSAGE_MAP(CPanelDlg, CDialog)
ON_WM_PAINT()
ON_WM_DESTROY()
ON_BN_CLICKED(IDC_POLL_SIZE, OnPollSize)
ON_BN_CLICKED(IDC_DIS_DETECT, OnDisDetect)
ON_BN_CLICKED(IDC_LOOP_DETECT, OnLoopDetect)
ON_CBN_SELCHANGE(IDC_PORT, OnSelchangePort)
ON_BN_CLICKED(IDC_ABOUT, OnAbout)
ON_BN_CLICKED(IDC_SCALING, OnScaling)
ON_BN_CLICKED(IDC_HIDDEN, OnHiddenButton)
ON_BN_DOUBLECLICKED(IDC_HIDDEN, OnHiddenDoubleClicked)
ON_BN_CLICKED(IDC_REPLY_NOTIFY, OnReplyNotify)
END_MESSAGE_MAP()

CPanelDlg::CPanelDlg() : CDialog(IDD_PANEL) {
    m_hIcon = AfxGetApp()->LoadIcon(IDR_MAINFRAME);
    g_strRx.Empty();
}

void CPanelDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_ABOUT, m_btnAbout);
    DDX_Control(pDX, IDC_SCALING, m_btnScaling);
    DDX_Control(pDX, IDC_LOOP_DETECT, m_btnLoopDetect);
    DDX_Control(pDX, IDC_DIS_DETECT, m_btnDisDetect);
    DDX_Control(pDX, IDC_PORT, m_cbPort);
    DDX_Control(pDX, IDC_POLL_SIZE, m_btnPollSize);
    DDX_Text(pDX, IDC_FORCE, m_strForce);
    DDX_Text(pDX, IDC_OFFSET, m_strOffset);
    DDX_Text(pDX, IDC_MEDIA_WEIGHT, m_strMediaWeight);
    DDX_Text(pDX, IDC_QUALITY, m_strQuality);
    DDX_Text(pDX, IDC_SMOOTH, m_strSmooth);
    DDX_Text(pDX, IDC_AUTO_UNROLL, m_strAutoUnroll);
    DDX_Text(pDX, IDC_MEDIA_TYPE, m_strMediaType);
    DDX_Text(pDX, IDC_SIZE_X, m_strSizeX);
    DDX_Text(pDX, IDC_SIZE_Y, m_strSizeY);
}

BOOL CPanelDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    InitializeCriticalSection(&g_rxLock);
    g_hReplyWnd.store(m_hWnd);

    m_pPort = static_cast<PortInfo*>(LocalAlloc(LMEM_ZEROINIT, sizeof(PortInfo)));
    if (!m_pPort) return FALSE;
    SetPortOpen(m_pPort, 0);
    m_pPort->nPortNumber = 1;
    m_pPort->nBaudRate = 9600;
    m_pPort->nByteSize = 8;
    m_pPort->nHandshake = 2;
    m_pPort->nParity = 0;
    m_pPort->nStopBits = 0;
    m_pPort->writeOverlap.Offset = m_pPort->writeOverlap.OffsetHigh = 0;
    m_pPort->readOverlap.Offset = m_pPort->readOverlap.OffsetHigh = 0;
    g_nHiddenClicks = 0;

    m_pPort->readOverlap.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!m_pPort->readOverlap.hEvent) {
        LocalFree(m_pPort);
        m_pPort = nullptr;
        return -1;
    }
    m_pPort->writeOverlap.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!m_pPort->writeOverlap.hEvent) {
        CloseHandle(m_pPort->readOverlap.hEvent);
        LocalFree(m_pPort);
        m_pPort = nullptr;
        return -1;
    }

    m_cbPort.SendMessage(CB_INITSTORAGE, 9, 80);
    m_cbPort.SendMessage(CB_SETDROPPEDWIDTH, 60);
    m_cbPort.SendMessage(CB_SETCURSEL, 0);
    FillPortList();
    m_cbPort.SendMessage(CB_SETCURSEL, 0);

    m_btnDisDetect.ModifyStyle(0, WS_DISABLED);

    m_bPortChanged = 0;
    m_bLoopDetect = 0;
    g_nRequestType = REQ_NONE;
    g_bStopReader.store(0);
    g_bReaderRunning.store(0);
    g_nFactorX = NOMINAL_FACTOR_X;
    g_nFactorY = NOMINAL_FACTOR_Y;
    g_nTestOrigin = 100;

    SetTimer(0, 2000, PanelTimerProc);
    return TRUE;
}

void CPanelDlg::FillPortList() {
    DWORD needed = 0, returned = 0;
    EnumPortsA(nullptr, 1, nullptr, 0, &needed, &returned);
    if (needed == 0) return;
    auto* buffer = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, needed));
    if (!buffer) return;
    if (EnumPortsA(nullptr, 1, buffer, needed, &needed, &returned)) {
        auto* ports = reinterpret_cast<PORT_INFO_1A*>(buffer);
        for (DWORD i = 0; i < returned; ++i) {
            CString name = ports[i].pName;
            int colon = name.Find(':');
            if (colon >= 0) name.Delete(colon);
            if (name.Find("COM") >= 0) m_cbPort.SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(static_cast<const char*>(name)));
        }
    }
    LocalFree(buffer);
}

void CPanelDlg::OnPaint() {
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    int cxIcon = GetSystemMetrics(SM_CXICON);
    int cyIcon = GetSystemMetrics(SM_CYICON);
    CRect rect;
    GetClientRect(&rect);
    int x = (rect.Width() - cxIcon + 1) / 2;
    int y = (rect.Height() - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

void CPanelDlg::SetButtonEnabled(CButton& button, BOOL enable) {
    if (enable)
        button.ModifyStyle(WS_DISABLED, 0);
    else
        button.ModifyStyle(0, WS_DISABLED);
    button.SendMessage(BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
}

void CPanelDlg::OnOK() {
    if (m_pPort) {
        StopReader();
        if (PortIsOpen(m_pPort)) ClosePort(m_pPort);
        SetPortOpen(m_pPort, 0);
    }
    CDialog::OnOK();
}

void CPanelDlg::OnCancel() {
    CDialog::OnCancel();
    if (m_pPort && PortIsOpen(m_pPort)) ClosePort(m_pPort);
}

void CPanelDlg::OnDestroy() {
    if (m_pPort) {
        StopReader();
        if (PortIsOpen(m_pPort)) ClosePort(m_pPort);
        CloseHandle(m_pPort->readOverlap.hEvent);
        CloseHandle(m_pPort->writeOverlap.hEvent);
        LocalFree(m_pPort);
        m_pPort = nullptr;
    }
    g_hReplyWnd.store(nullptr);
    DeleteCriticalSection(&g_rxLock);
    CDialog::OnDestroy();
}
