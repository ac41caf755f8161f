// Dialogs made from templates, the default dialog procedure, message boxes,
// icons and painting.
#include <cctype>
#include <map>
#include <string>

#include "platform/base/diagnosis.h"
#include "platform/resources/resources.h"
#include "platform/resources/win_styles.h"
#include "platform/ui/backend.h"
#include "platform/ui/window_core.h"

namespace platform::ui {
namespace {

WindowKind KindOfClass(const char* className) {
    std::string name;
    for (const char* p = className; p && *p; ++p) name += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    if (name == "button") return WindowKind::Button;
    if (name == "edit") return WindowKind::Edit;
    if (name == "combobox") return WindowKind::ComboBox;
    if (name == "listbox") return WindowKind::ListBox;
    if (name == "scrollbar") return WindowKind::ScrollBar;
    return WindowKind::Static;
}

RECT Units(short x, short y, short cx, short cy) { return RECT{x, y, x + cx, y + cy}; }

class HeadlessDefault : public Backend {
public:
    void Wait(sched::Millis deadline) override { WaitForQueue(deadline); }
    void Wake() override { WakeQueues(); }
};

HeadlessDefault g_defaultBackend;
Backend* g_backend = &g_defaultBackend;

// The procedure of the dialog class: the program's dialog procedure first,
// the default handling for what it leaves.
LRESULT CALLBACK DialogClassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindow(hwnd);
    DLGPROC proc = w ? w->dlgProc : nullptr;
    if (proc) {
        INT_PTR handled = proc(hwnd, msg, wParam, lParam);
        if (msg == WM_INITDIALOG) return handled;
        if (handled) return 0;
    }
    return DefDlgProcA(hwnd, msg, wParam, lParam);
}

HWND CreateDialogFromTemplate(const res::DialogTemplate& t, HWND owner, DLGPROC dlgProc) {
    // Created hidden: the modal loop shows the dialog once it is initialised.
    HWND dialog = CreateWindowCore(WindowKind::Dialog, t.caption ? t.caption : "", t.style & ~WS_VISIBLE, t.exStyle,
                                   0, owner, DialogClassProc, Units(t.x, t.y, t.cx, t.cy));
    Window* d = FindWindow(dialog);
    d->templateId = t.id;
    d->fontName = t.fontName ? t.fontName : "";
    d->pointSize = t.pointSize;
    d->dlgProc = dlgProc;
    for (int i = 0; i < t.controlCount; ++i) {
        const res::ControlTemplate& c = t.controls[i];
        WindowKind kind = KindOfClass(c.className);
        CreateWindowCore(kind, c.text ? c.text : "", c.style, c.exStyle, c.id, dialog, ControlProc,
                         Units(c.x, c.y, c.cx, c.cy));
    }
    // The dialog's own handle as parent of its controls, but not as a child of its owner.
    if (Window* o = FindWindow(owner)) std::erase(o->children, dialog);
    return dialog;
}

}  // namespace

Backend& CurrentBackend() { return *g_backend; }
void SetBackend(Backend* backend) { g_backend = backend ? backend : &g_defaultBackend; }

}  // namespace platform::ui

using namespace platform::ui;

LRESULT DefDlgProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindow(hwnd);
    if (!w) return 0;
    switch (msg) {
    case WM_CLOSE: {
        HWND cancel = GetDlgItem(hwnd, IDCANCEL);
        if (cancel && !IsWindowEnabled(cancel)) return 0;
        SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    case WM_SETICON: {
        HICON icon = reinterpret_cast<HICON>(lParam);
        HICON old = wParam == ICON_BIG ? w->iconBig : w->iconSmall;
        (wParam == ICON_BIG ? w->iconBig : w->iconSmall) = icon;
        NotifyChanged(hwnd);
        return reinterpret_cast<LRESULT>(old);
    }
    case WM_ICONERASEBKGND:
        return TRUE;
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        return ControlProc(hwnd, msg, wParam, lParam);
    default:
        return 0;
    }
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM initParam) {
    int id = static_cast<int>(reinterpret_cast<UINT_PTR>(templateName));
    const platform::res::DialogTemplate* t = platform::res::FindDialog(id);
    if (!t) return -1;
    HWND hwnd = CreateDialogFromTemplate(*t, owner, proc);
    SendMessageA(hwnd, WM_INITDIALOG, 0, initParam);
    bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled) EnableWindow(owner, FALSE);
    int result = -1;
    if (Window* w = FindWindow(hwnd)) {
        ShowWindow(hwnd, SW_SHOW);
        PushModal(hwnd);
        CurrentBackend().ModalShown(*w);
        result = RunModalLoop(hwnd);
        PopModal(hwnd);
        if (Window* still = FindWindow(hwnd)) CurrentBackend().ModalEnded(*still, result);
    }
    if (ownerWasEnabled) EnableWindow(owner, TRUE);
    DestroyWindow(hwnd);
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    if (!IsWindow(dialog)) return FALSE;
    EndModal(dialog, static_cast<int>(result));
    return TRUE;
}

HWND GetActiveWindow() { return ActiveModal(); }

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    HWND box = CreateWindowCore(WindowKind::MessageBox, text ? text : "", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0,
                                nullptr, ControlProc, RECT{});
    Window* w = FindWindow(box);
    w->boxType = type;
    w->caption = caption ? caption : "Error";
    w->detail = platform::diagnosis::Take();
    bool disabledOwner = owner && IsWindowEnabled(owner);
    if (disabledOwner) EnableWindow(owner, FALSE);
    w->style |= WS_VISIBLE;
    PushModal(box);
    CurrentBackend().ModalShown(*w);
    int result = RunModalLoop(box);
    PopModal(box);
    if (disabledOwner) EnableWindow(owner, TRUE);
    if (Window* still = FindWindow(box)) CurrentBackend().ModalEnded(*still, result);
    DestroyWindow(box);
    return result;
}

HICON LoadIconA(HINSTANCE, LPCSTR name) {
    int resourceId = static_cast<int>(reinterpret_cast<UINT_PTR>(name));
    if (!platform::res::FindIcon(resourceId)) return nullptr;
    return reinterpret_cast<HICON>(static_cast<UINT_PTR>(0x7F0000 + resourceId));
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint) {
    if (!IsWindow(hwnd)) return nullptr;
    HDC dc = reinterpret_cast<HDC>(hwnd);
    if (paint) *paint = PAINTSTRUCT{dc, FALSE, RECT{}};
    return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT*) { return IsWindow(hwnd); }

BOOL DrawIcon(HDC dc, int x, int y, HICON icon) {
    Window* w = FindWindow(reinterpret_cast<HWND>(dc));
    if (!w || !icon) return FALSE;
    CurrentBackend().IconDrawn(*w, x, y, icon);
    return TRUE;
}
