// The About button: the firmware query, and the About box the reply opens.
#include "panel/app/about_dlg.h"
#include "panel/app/panel_dlg.h"
#include "panel/link/protocol.h"

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()

void CAboutDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_VERSION, m_strVersion);
    DDX_Text(pDX, IDC_MODEL, m_strModel);
}

void CPanelDlg::OnAbout() {
    if (!m_pPort) return;
    g_nRequestType = REQ_FIRMWARE;
    if (!ReconnectPort()) return;
    SendRequest(m_pPort);
}

void CPanelDlg::ShowAboutBox() {
    CAboutDlg about;
    about.m_strModel = m_strModel;
    about.m_strVersion = m_strVersion;
    about.DoModal();
}
