// Window registry and the user32 calls that address one window.
#include "platform/ui/window_core.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "platform/base/win_base.h"
#include "platform/resources/win_styles.h"
#include "platform/ui/backend.h"
#include "platform/ui/message_queue.h"

namespace platform::ui {
namespace {

std::map<HWND, std::unique_ptr<Window>> g_windows;  // under sched::Lock()
UINT_PTR g_nextWindow = 0x10010;
std::vector<HWND> g_modalStack;  // of every thread, under sched::Lock()
thread_local HWND t_focus = nullptr;

}  // namespace

Window* FindWindow(HWND hwnd) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    auto it = g_windows.find(hwnd);
    return it == g_windows.end() ? nullptr : it->second.get();
}

bool WindowThread(HWND hwnd, DWORD* threadId) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    auto it = g_windows.find(hwnd);
    if (it == g_windows.end()) return false;
    *threadId = it->second->threadId;
    return true;
}

HWND CreateWindowCore(WindowKind kind, const std::string& text, DWORD style, DWORD exStyle, int id, HWND parent,
                      WNDPROC proc, RECT unitsRect) {
    auto w = std::make_unique<Window>();
    Window* raw = w.get();
    {
        std::lock_guard<std::mutex> lk(sched::Lock());
        raw->handle = reinterpret_cast<HWND>(g_nextWindow);
        g_nextWindow += 2;
        raw->kind = kind;
        raw->threadId = GetCurrentThreadId();
        raw->style = style;
        raw->exStyle = exStyle;
        raw->id = id;
        raw->text = text;
        raw->parent = parent;
        raw->proc = proc;
        raw->unitsRect = unitsRect;
        if (kind == WindowKind::Button) raw->check = BST_UNCHECKED;
        g_windows.emplace(raw->handle, std::move(w));
        if (parent) {
            auto it = g_windows.find(parent);
            if (it != g_windows.end()) it->second->children.push_back(raw->handle);
        }
    }
    CurrentBackend().WindowCreated(*raw);
    return raw->handle;
}

std::vector<HWND> ModalStack() {
    std::lock_guard<std::mutex> lk(sched::Lock());
    return g_modalStack;
}

HWND ActiveModal() {
    std::lock_guard<std::mutex> lk(sched::Lock());
    return g_modalStack.empty() ? nullptr : g_modalStack.back();
}

void PushModal(HWND hwnd) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    g_modalStack.push_back(hwnd);
}

void PopModal(HWND hwnd) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    std::erase(g_modalStack, hwnd);
}

LRESULT CallProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindow(hwnd);
    if (!w || !w->proc) return 0;
    return w->proc(hwnd, msg, wParam, lParam);
}

void EndModal(HWND hwnd, int result) {
    if (Window* w = FindWindow(hwnd)) {
        w->modalEnded = true;
        w->modalResult = result;
        PostMessageA(hwnd, WM_NULL, 0, 0);  // lets the modal loop see the end
    }
}

int RunModalLoop(HWND hwnd) {
    MSG msg;
    for (;;) {
        Window* w = FindWindow(hwnd);
        if (!w) return -1;
        if (w->modalEnded) return w->modalResult;
        if (!GetMessageA(&msg, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // leave the quit for the outer loop
            return -1;
        }
        DispatchMessageA(&msg);
    }
}

void NotifyChanged(HWND hwnd) {
    if (Window* w = FindWindow(hwnd)) CurrentBackend().WindowChanged(*w);
}

}  // namespace platform::ui

using namespace platform::ui;

BOOL IsWindow(HWND hwnd) { return FindWindow(hwnd) != nullptr; }

HWND GetDlgItem(HWND dialog, int id) {
    Window* d = FindWindow(dialog);
    if (!d) return nullptr;
    for (HWND child : d->children)
        if (Window* c = FindWindow(child); c && c->id == id) return child;
    return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
    Window* w = FindWindow(hwnd);
    return w ? w->id : 0;
}

HWND GetParent(HWND hwnd) {
    Window* w = FindWindow(hwnd);
    return w ? w->parent : nullptr;
}

LONG GetWindowLongA(HWND hwnd, int index) {
    Window* w = FindWindow(hwnd);
    if (!w) return 0;
    if (index == GWL_STYLE) return static_cast<LONG>(w->style);
    if (index == GWL_EXSTYLE) return static_cast<LONG>(w->exStyle);
    return 0;
}

LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
    Window* w = FindWindow(hwnd);
    if (!w) return 0;
    DWORD* field = index == GWL_STYLE ? &w->style : index == GWL_EXSTYLE ? &w->exStyle : nullptr;
    if (!field) return 0;
    LONG old = static_cast<LONG>(*field);
    *field = static_cast<DWORD>(value);
    NotifyChanged(hwnd);
    return old;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    Window* w = FindWindow(hwnd);
    if (!w) return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) != 0;
    if (enable)
        w->style &= ~WS_DISABLED;
    else
        w->style |= WS_DISABLED;
    if (wasDisabled != !enable) {
        SendMessageA(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
        NotifyChanged(hwnd);
    }
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
    Window* w = FindWindow(hwnd);
    return w && !(w->style & WS_DISABLED);
}

BOOL ShowWindow(HWND hwnd, int cmd) {
    Window* w = FindWindow(hwnd);
    if (!w) return FALSE;
    BOOL wasVisible = (w->style & WS_VISIBLE) != 0;
    if (cmd == SW_HIDE) {
        w->style &= ~WS_VISIBLE;
    } else {
        w->style |= WS_VISIBLE;
        if (cmd == SW_MINIMIZE) w->minimized = true;
        if (cmd == SW_RESTORE) w->minimized = false;
    }
    NotifyChanged(hwnd);
    return wasVisible;
}

BOOL IsWindowVisible(HWND hwnd) {
    Window* w = FindWindow(hwnd);
    return w && (w->style & WS_VISIBLE);
}

BOOL IsIconic(HWND hwnd) {
    Window* w = FindWindow(hwnd);
    return w && w->minimized;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
    return SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")) != 0;
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int max) {
    return static_cast<int>(SendMessageA(hwnd, WM_GETTEXT, static_cast<WPARAM>(max), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND hwnd) { return static_cast<int>(SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0)); }

HWND SetFocus(HWND hwnd) {
    HWND old = t_focus;
    if (old == hwnd) return old;
    t_focus = hwnd;
    if (old && IsWindow(old)) SendMessageA(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd) SendMessageA(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND GetFocus() { return t_focus; }

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
    Window* w = FindWindow(hwnd);
    if (!w || !rect) return FALSE;
    // Dialog units at the System font's base units of 8 x 16 pixels per 4 x 8 units.
    *rect = RECT{0, 0, (w->unitsRect.right - w->unitsRect.left) * 2, (w->unitsRect.bottom - w->unitsRect.top) * 2};
    return TRUE;
}

int GetSystemMetrics(int index) {
    if (index == SM_CXICON || index == SM_CYICON) return 32;
    return 0;
}

BOOL DestroyWindow(HWND hwnd) {
    Window* w = FindWindow(hwnd);
    if (!w) return FALSE;
    SendMessageA(hwnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children = w->children;
    for (HWND child : children) DestroyWindow(child);
    if (t_focus == hwnd) t_focus = nullptr;
    KillTimersOf(hwnd);
    CurrentBackend().WindowDestroyed(*w);
    std::unique_ptr<Window> gone;
    {
        std::lock_guard<std::mutex> lk(platform::sched::Lock());
        auto it = g_windows.find(hwnd);
        gone = std::move(it->second);
        g_windows.erase(it);
        if (gone->parent) {
            auto p = g_windows.find(gone->parent);
            if (p != g_windows.end()) std::erase(p->second->children, hwnd);
        }
    }
    PopModal(hwnd);
    return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL) {
    NotifyChanged(hwnd);
    return IsWindow(hwnd);
}
