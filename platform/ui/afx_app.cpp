// The application object, its run, and the framework's message boxes.
#include <vector>

#include "platform/ui/afxwin.h"

namespace {
CWinApp* g_app = nullptr;
}

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName) { g_app = this; }

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

int CWinApp::Run() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) DispatchMessageA(&msg);
    return ExitInstance();
}

CWinApp* AfxGetApp() { return g_app; }
CWnd* AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }
void AfxEnableControlContainer() {}

HINSTANCE AfxGetResourceHandle() { return g_app ? g_app->m_hInstance : nullptr; }

int AfxWinMain(const char* programName, HINSTANCE instance) {
    CWinApp* app = AfxGetApp();
    if (!app) return -1;
    if (!app->m_pszAppName) app->m_pszAppName = programName;
    app->m_hInstance = instance;
    if (!app->InitInstance()) return app->ExitInstance();
    return app->Run();
}

int AfxMessageBox(const char* text, UINT type, UINT) {
    HWND owner = ::GetActiveWindow();
    if (!owner && AfxGetMainWnd()) owner = AfxGetMainWnd()->m_hWnd;
    const char* caption = AfxGetApp() && AfxGetApp()->m_pszAppName ? AfxGetApp()->m_pszAppName : "";
    return MessageBoxA(owner, text, caption, type);
}

int AfxMessageBox(UINT promptId, UINT type, UINT helpId) {
    CString text;
    text.LoadString(promptId);
    return AfxMessageBox(text, type, helpId);
}

BOOL CString::LoadString(UINT nID) {
    // The table gives no length: grow the buffer until the text fits with room to spare.
    std::vector<char> buffer(256);
    int n = 0;
    while ((n = ::LoadStringA(AfxGetResourceHandle(), nID, buffer.data(), static_cast<int>(buffer.size()))) >=
           static_cast<int>(buffer.size()) - 4)
        buffer.resize(buffer.size() * 2);
    *this = CString(buffer.data(), n);
    return n > 0;
}
