// CWnd: the framework's window object, its handle maps and message maps.
#include <map>
#include <memory>

#include "platform/mfc/cfile.h"
#include "platform/ui/afxwin.h"

namespace {

// Objects attached to windows by the program, and stand-ins the framework
// made for windows the program asked about.
std::map<HWND, CWnd*> g_permanent;
std::map<HWND, std::unique_ptr<CWnd>> g_temporary;

void DropDeadTemporaries() {
    std::erase_if(g_temporary, [](const auto& entry) { return !IsWindow(entry.first); });
}

}  // namespace

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, AfxSig_end, nullptr, nullptr, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, AfxSig_end, nullptr, nullptr, nullptr}};
    static const AFX_MSGMAP map = {&CCmdTarget::GetThisMessageMap, entries};
    return &map;
}

CWnd::~CWnd() {
    if (m_hWnd) Detach();
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    if (!hwnd || !IsWindow(hwnd)) return nullptr;
    if (auto it = g_permanent.find(hwnd); it != g_permanent.end()) return it->second;
    DropDeadTemporaries();
    auto& slot = g_temporary[hwnd];
    if (!slot) {
        slot = std::make_unique<CWnd>();
        slot->m_hWnd = hwnd;
    }
    return slot.get();
}

BOOL CWnd::Attach(HWND hwnd) {
    if (!hwnd) return FALSE;
    if (auto it = g_temporary.find(hwnd); it != g_temporary.end()) {
        it->second->m_hWnd = nullptr;
        g_temporary.erase(it);
    }
    m_hWnd = hwnd;
    g_permanent[hwnd] = this;
    return TRUE;
}

HWND CWnd::Detach() {
    HWND hwnd = m_hWnd;
    if (auto it = g_permanent.find(hwnd); it != g_permanent.end() && it->second == this) g_permanent.erase(it);
    m_hWnd = nullptr;
    DropDeadTemporaries();
    return hwnd;
}

INT_PTR CALLBACK AfxDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // The dialog object comes with WM_INITDIALOG; what the dialog manager sends
    // before it is the manager's own business.
    if (msg == WM_INITDIALOG) reinterpret_cast<CWnd*>(lParam)->Attach(hwnd);
    auto it = g_permanent.find(hwnd);
    if (it == g_permanent.end()) return FALSE;
    CWnd* wnd = it->second;
    CWnd::Dispatch saved = wnd->m_current;
    MSG current{};
    current.hwnd = hwnd;
    current.message = msg;
    current.wParam = wParam;
    current.lParam = lParam;
    wnd->m_current = CWnd::Dispatch{current, false};
    LRESULT result = 0;
    // A framework exception that a handler leaves is reported as the framework
    // reports it; it must not unwind through the platform's dialog manager.
    try {
        result = wnd->WindowProc(msg, wParam, lParam);
    } catch (CException* error) {
        error->ReportError(MB_ICONSTOP);
        error->Delete();
    }
    bool handled = !wnd->m_current.bLeftToDefault;
    wnd->m_current = saved;
    if (msg == WM_INITDIALOG) return result;
    return handled ? TRUE : FALSE;
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND) return OnCommand(wParam, lParam) ? 0 : Default();
    return DispatchThroughMap(msg, wParam, lParam) ? 0 : Default();
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) { return DispatchThroughMap(WM_COMMAND, wParam, lParam); }

bool CWnd::DispatchThroughMap(UINT msg, WPARAM wParam, LPARAM lParam) {
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->nSig != AfxSig_end; ++e) {
            if (e->nMessage != msg) continue;
            if (msg == WM_COMMAND && (e->nCode != HIWORD(wParam) || e->nID != LOWORD(wParam))) continue;
            switch (e->nSig) {
            case AfxSig_vv:
                (this->*e->pfn)();
                break;
            case AfxSig_vwwW: {
                auto* bar = static_cast<CScrollBar*>(FromHandle(reinterpret_cast<HWND>(lParam)));
                (this->*e->pfnScroll)(LOWORD(wParam), HIWORD(wParam), bar);
                break;
            }
            case AfxSig_vw:
                (this->*e->pfnTimer)(wParam);
                break;
            case AfxSig_end:
                break;
            }
            return true;
        }
    }
    return false;
}

LRESULT CWnd::Default() {
    m_current.bLeftToDefault = true;
    return 0;
}

void CWnd::OnPaint() {
    PAINTSTRUCT ps;
    BeginPaint(m_hWnd, &ps);
    EndPaint(m_hWnd, &ps);
}
void CWnd::OnDestroy() { Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnHScroll(UINT, UINT, CScrollBar*) { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }

LRESULT CWnd::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) const { return ::SendMessageA(m_hWnd, msg, wParam, lParam); }
BOOL CWnd::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) const { return ::PostMessageA(m_hWnd, msg, wParam, lParam); }
CWnd* CWnd::GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }
void CWnd::SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }

void CWnd::GetWindowText(CString& text) const {
    int n = ::GetWindowTextLengthA(m_hWnd);
    ::GetWindowTextA(m_hWnd, text.GetBuffer(n), n + 1);
    text.ReleaseBuffer();
}

int CWnd::GetWindowTextLength() const { return ::GetWindowTextLengthA(m_hWnd); }
BOOL CWnd::EnableWindow(BOOL enable) { return ::EnableWindow(m_hWnd, enable); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
BOOL CWnd::ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }
DWORD CWnd::GetStyle() const { return static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_STYLE)); }

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT) {
    DWORD style = GetStyle();
    DWORD changed = (style & ~remove) | add;
    if (changed == style) return FALSE;
    ::SetWindowLongA(m_hWnd, GWL_STYLE, static_cast<LONG>(changed));
    return TRUE;
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon) {
    return reinterpret_cast<HICON>(SendMessage(WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

void CWnd::GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
CWnd* CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc) { return ::SetTimer(m_hWnd, id, elapse, proc); }
BOOL CWnd::KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
void CWnd::Invalidate(BOOL erase) { ::InvalidateRect(m_hWnd, nullptr, erase); }
BOOL CWnd::DestroyWindow() { return ::DestroyWindow(m_hWnd); }
void CWnd::SetDlgItemText(int id, const char* text) { ::SetWindowTextA(::GetDlgItem(m_hWnd, id), text); }

int CWnd::GetDlgItemText(int id, CString& text) const {
    CWnd* item = GetDlgItem(id);
    if (!item) {
        text.Empty();
        return 0;
    }
    item->GetWindowText(text);
    return text.GetLength();
}

void CWnd::CheckDlgButton(int id, UINT check) { ::SendMessageA(::GetDlgItem(m_hWnd, id), BM_SETCHECK, check, 0); }
UINT CWnd::IsDlgButtonChecked(int id) const {
    return static_cast<UINT>(::SendMessageA(::GetDlgItem(m_hWnd, id), BM_GETCHECK, 0, 0));
}
int CWnd::GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }

void CComboBox::GetLBText(int index, CString& text) const {
    LRESULT n = SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (n == CB_ERR) {
        text.Empty();
        return;
    }
    SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.GetBuffer(static_cast<int>(n))));
    text.ReleaseBuffer();
}

void CListBox::GetText(int index, CString& text) const {
    LRESULT n = SendMessage(LB_GETTEXTLEN, static_cast<WPARAM>(index));
    if (n == LB_ERR) {
        text.Empty();
        return;
    }
    SendMessage(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.GetBuffer(static_cast<int>(n))));
    text.ReleaseBuffer();
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->m_hWnd) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }
CPaintDC::~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
