// The application framework's window classes: the application object,
// windows with message maps, modal dialogs, the standard controls, dialog
// data exchange and validation, and message boxes.
#pragma once

#include "platform/mfc/cstring.h"
#include "platform/resources/win_styles.h"
#include "platform/ui/win_user.h"

class CWnd;
class CScrollBar;
class CDataExchange;

// ---- Message maps --------------------------------------------------------

class CCmdTarget;
using AFX_PMSG = void (CCmdTarget::*)();

enum AfxSig { AfxSig_end = 0, AfxSig_vv, AfxSig_vwwW, AfxSig_vw };

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;
    UINT nID;
    AfxSig nSig;
    AFX_PMSG pfn;                                       // AfxSig_vv
    void (CWnd::*pfnScroll)(UINT, UINT, CScrollBar*);  // AfxSig_vwwW
    void (CWnd::*pfnTimer)(UINT_PTR);                   // AfxSig_vw
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const { return GetThisMessageMap(); }
};

#define DECLARE_MESSAGE_MAP()                      \
protected:                                         \
    static const AFX_MSGMAP* GetThisMessageMap();  \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                          \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                  \
        using ThisClass [[maybe_unused]] = theClass;                                   \
        using TheBaseClass = baseClass;                                                \
        static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP()                                               \
    { 0, 0, 0, AfxSig_end, nullptr, nullptr, nullptr }                  \
    }                                                                   \
    ;                                                                   \
    static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
    return &map;                                                        \
    }

#define AFX_COMMAND_ENTRY(code, id, fn) \
    {WM_COMMAND, code, static_cast<UINT>(id), AfxSig_vv, static_cast<AFX_PMSG>(&ThisClass::fn), nullptr, nullptr},
#define ON_COMMAND(id, fn) AFX_COMMAND_ENTRY(0, id, fn)
#define ON_BN_CLICKED(id, fn) AFX_COMMAND_ENTRY(BN_CLICKED, id, fn)
#define ON_BN_DOUBLECLICKED(id, fn) AFX_COMMAND_ENTRY(BN_DOUBLECLICKED, id, fn)
#define ON_CBN_SELCHANGE(id, fn) AFX_COMMAND_ENTRY(CBN_SELCHANGE, id, fn)
#define ON_CBN_EDITCHANGE(id, fn) AFX_COMMAND_ENTRY(CBN_EDITCHANGE, id, fn)
#define ON_LBN_SELCHANGE(id, fn) AFX_COMMAND_ENTRY(LBN_SELCHANGE, id, fn)
#define ON_LBN_DBLCLK(id, fn) AFX_COMMAND_ENTRY(LBN_DBLCLK, id, fn)
#define ON_LBN_SETFOCUS(id, fn) AFX_COMMAND_ENTRY(LBN_SETFOCUS, id, fn)
#define ON_EN_CHANGE(id, fn) AFX_COMMAND_ENTRY(EN_CHANGE, id, fn)
#define ON_EN_UPDATE(id, fn) AFX_COMMAND_ENTRY(EN_UPDATE, id, fn)
#define ON_EN_SETFOCUS(id, fn) AFX_COMMAND_ENTRY(EN_SETFOCUS, id, fn)
#define ON_EN_KILLFOCUS(id, fn) AFX_COMMAND_ENTRY(EN_KILLFOCUS, id, fn)
#define AFX_MESSAGE_ENTRY(msg, fn) {msg, 0, 0, AfxSig_vv, static_cast<AFX_PMSG>(&ThisClass::fn), nullptr, nullptr},
#define ON_WM_PAINT() AFX_MESSAGE_ENTRY(WM_PAINT, OnPaint)
#define ON_WM_DESTROY() AFX_MESSAGE_ENTRY(WM_DESTROY, OnDestroy)
#define ON_WM_CLOSE() AFX_MESSAGE_ENTRY(WM_CLOSE, OnClose)
#define ON_WM_HSCROLL() \
    {WM_HSCROLL, 0, 0, AfxSig_vwwW, nullptr, static_cast<void (CWnd::*)(UINT, UINT, CScrollBar*)>(&ThisClass::OnHScroll), nullptr},
#define ON_WM_TIMER() \
    {WM_TIMER, 0, 0, AfxSig_vw, nullptr, nullptr, static_cast<void (CWnd::*)(UINT_PTR)>(&ThisClass::OnTimer)},

// ---- Windows ---------------------------------------------------------------

struct CRect : RECT {
    CRect() : RECT{0, 0, 0, 0} {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    operator LPRECT() { return this; }
};

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    // The object attached to hwnd, or a temporary one that lives as long as the window.
    static CWnd* FromHandle(HWND hwnd);
    BOOL Attach(HWND hwnd);
    HWND Detach();

    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    CWnd* GetDlgItem(int id) const;
    void SetWindowText(const char* text);
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const;
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL ShowWindow(int cmd);
    BOOL IsWindowVisible() const;
    BOOL IsIconic() const;
    DWORD GetStyle() const;
    // Removes then adds style bits; FALSE when nothing changed.
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    HICON SetIcon(HICON icon, BOOL bigIcon);
    void GetClientRect(LPRECT rect) const;
    CWnd* SetFocus();
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc);
    BOOL KillTimer(UINT_PTR id);
    void Invalidate(BOOL erase = TRUE);
    BOOL DestroyWindow();
    void SetDlgItemText(int id, const char* text);
    int GetDlgItemText(int id, CString& text) const;
    void CheckDlgButton(int id, UINT check);
    UINT IsDlgButtonChecked(int id) const;
    int GetDlgCtrlID() const;
    CWnd* GetParent() const;

    // Exchanges the dialog's data with its controls; FALSE when a check failed.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    virtual void DoDataExchange(CDataExchange* pDX) {}

    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // Leaves the message being dispatched to the dialog manager's default
    // handling, which runs once the handler returns.
    LRESULT Default();

    void OnPaint();
    void OnDestroy();
    void OnClose();
    void OnHScroll(UINT sbCode, UINT pos, CScrollBar* scrollBar);
    void OnTimer(UINT_PTR id);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    const AFX_MSGMAP* GetMessageMap() const override { return GetThisMessageMap(); }
    bool DispatchThroughMap(UINT msg, WPARAM wParam, LPARAM lParam);

private:
    struct Dispatch {
        MSG msg;
        bool bLeftToDefault;
    };
    Dispatch m_current{};
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
};

// The dialog procedure of every framework dialog: WM_INITDIALOG carries the
// CDialog, which then gets every message through its WindowProc.
INT_PTR CALLBACK AfxDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    // Runs the dialog modally; IDOK, IDCANCEL or EndDialog's result; -1 when it cannot be created.
    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(int result);

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()
};

class CButton : public CWnd {
public:
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int check) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }
};

class CStatic : public CWnd {};

class CEdit : public CWnd {
public:
    void SetSel(int start, int end) { SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end); }
    BOOL SetReadOnly(BOOL readOnly = TRUE) { return SendMessage(EM_SETREADONLY, readOnly) != 0; }
};

class CComboBox : public CWnd {
public:
    int AddString(const char* text) { return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
    int InsertString(int index, const char* text) {
        return static_cast<int>(SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
    }
    int DeleteString(UINT index) { return static_cast<int>(SendMessage(CB_DELETESTRING, index)); }
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
    void GetLBText(int index, CString& text) const;
    int FindStringExact(int start, const char* text) const {
        return static_cast<int>(SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(text)));
    }
    int SelectString(int start, const char* text) {
        return static_cast<int>(SendMessage(CB_SELECTSTRING, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(text)));
    }
};

class CListBox : public CWnd {
public:
    int AddString(const char* text) { return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
    int InsertString(int index, const char* text) {
        return static_cast<int>(SendMessage(LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
    }
    int DeleteString(UINT index) { return static_cast<int>(SendMessage(LB_DELETESTRING, index)); }
    void ResetContent() { SendMessage(LB_RESETCONTENT); }
    int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(LB_GETCURSEL)); }
    int SetCurSel(int index) { return static_cast<int>(SendMessage(LB_SETCURSEL, static_cast<WPARAM>(index))); }
    void GetText(int index, CString& text) const;
    int FindStringExact(int start, const char* text) const {
        return static_cast<int>(SendMessage(LB_FINDSTRINGEXACT, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(text)));
    }
};

class CScrollBar : public CWnd {
public:
    int GetScrollPos() const { return ::GetScrollPos(m_hWnd, SB_CTL); }
    int SetScrollPos(int pos, BOOL redraw = TRUE) { return ::SetScrollPos(m_hWnd, SB_CTL, pos, redraw); }
    void SetScrollRange(int minPos, int maxPos, BOOL redraw = TRUE) { ::SetScrollRange(m_hWnd, SB_CTL, minPos, maxPos, redraw); }
    void GetScrollRange(int* minPos, int* maxPos) const { ::GetScrollRange(m_hWnd, SB_CTL, minPos, maxPos); }
};

// A device context for painting a window between BeginPaint and EndPaint.
class CPaintDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }
    HDC m_hDC;

private:
    HWND m_hWnd;
    PAINTSTRUCT m_ps{};
};

// ---- The application -------------------------------------------------------

constexpr UINT ID_HELP = 0xE146;

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    virtual int Run();
    void OnHelp() {}
    BOOL Enable3dControlsStatic() { return TRUE; }
    HICON LoadIcon(UINT id) const { return ::LoadIconA(m_hInstance, MAKEINTRESOURCEA(id)); }

    const char* m_pszAppName = nullptr;
    // The module whose resources the framework loads: the program's own.
    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;

    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
void AfxEnableControlContainer();

// Runs the one application object: InitInstance, then Run or ExitInstance.
// programName stands for the executable's file name without its extension;
// instance is the program's module (NULL on Linux, where there is one).
int AfxWinMain(const char* programName, HINSTANCE instance = nullptr);
HINSTANCE AfxGetResourceHandle();

// Message boxes captioned with the application's name, owned by the active window.
int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT promptId, UINT type = MB_OK, UINT helpId = static_cast<UINT>(-1));

// ---- Dialog data exchange ---------------------------------------------------

class CDataExchange {
public:
    CDataExchange(CWnd* dlgWnd, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dlgWnd) {}
    HWND PrepareCtrl(int id);
    HWND PrepareEditCtrl(int id);
    // Reports the failed check: focus to the last control, the exchange ends.
    [[noreturn]] void Fail();

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    HWND m_hWndLastControl = nullptr;
    BOOL m_bEditLastControl = FALSE;
};

void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
void DDX_Text(CDataExchange* pDX, int id, CString& value);
void DDX_Text(CDataExchange* pDX, int id, int& value);
void DDX_Text(CDataExchange* pDX, int id, float& value);
void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal);
void DDV_MinMaxFloat(CDataExchange* pDX, float value, float minVal, float maxVal);

// The framework's prompts, loaded by these ids.
constexpr UINT AFX_IDP_PARSE_INT = 61712;
constexpr UINT AFX_IDP_PARSE_REAL = 61713;
constexpr UINT AFX_IDP_PARSE_INT_RANGE = 61714;
constexpr UINT AFX_IDP_PARSE_REAL_RANGE = 61715;
// The file exception's prompts: this id plus CFileException::m_cause, each
// with %1 standing for the file's name.
constexpr UINT AFX_IDP_FILE_NONE = 61728;
