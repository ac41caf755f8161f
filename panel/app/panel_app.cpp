#include "panel/app/panel_app.h"

#include "panel/app/panel_dlg.h"
#include "panel/link/port.h"

CPanelApp theApp;

BEGIN_MESSAGE_MAP(CPanelApp, CWinApp)
ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CPanelApp::CPanelApp() : CWinApp(nullptr) {}

BOOL CPanelApp::InitInstance() {
    AfxEnableControlContainer();
    Enable3dControlsStatic();
    g_pPanelDlg = new CPanelDlg;
    m_pMainWnd = g_pPanelDlg;
    g_bDataArrived.store(0);
    g_pPanelDlg->DoModal();
    return FALSE;
}
