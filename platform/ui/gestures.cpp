// What a person's click, key press or typing does to the window it addresses,
// shared by every backend so that all of them behave alike.
#include <algorithm>

#include "platform/resources/win_styles.h"
#include "platform/ui/window_core.h"

namespace platform::ui {
namespace {

void Command(HWND parent, int id, UINT code, HWND control) {
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), static_cast<WORD>(code)),
                 reinterpret_cast<LPARAM>(control));
}

bool Usable(const Window* w) { return w && !(w->style & WS_DISABLED); }

// The members of the control's group: from the nearest control at or before
// it that starts a group, up to the next one that does.
std::vector<HWND> GroupOf(const Window& control) {
    Window* dialog = FindWindow(control.parent);
    if (!dialog) return {control.handle};
    const auto& all = dialog->children;
    auto at = std::find(all.begin(), all.end(), control.handle);
    auto first = at;
    while (first != all.begin()) {
        Window* c = FindWindow(*first);
        if (c && (c->style & WS_GROUP)) break;
        --first;
    }
    std::vector<HWND> group{*first};
    for (auto it = first + 1; it != all.end(); ++it) {
        Window* c = FindWindow(*it);
        if (c && (c->style & WS_GROUP)) break;
        group.push_back(*it);
    }
    return group;
}

void CheckAutoRadio(Window& radio) {
    for (HWND member : GroupOf(radio)) {
        Window* m = FindWindow(member);
        if (m && m != &radio && m->kind == WindowKind::Button && (m->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON &&
            m->check != BST_UNCHECKED)
            SendMessageA(member, BM_SETCHECK, BST_UNCHECKED, 0);
    }
    SendMessageA(radio.handle, BM_SETCHECK, BST_CHECKED, 0);
}

std::vector<int> BoxButtons(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    default: return {IDOK};
    }
}

}  // namespace

bool ClickControl(HWND control, bool doubleClick) {
    Window* w = FindWindow(control);
    if (!Usable(w)) return false;
    if (w->kind == WindowKind::Button) {
        DWORD type = w->style & BS_TYPEMASK;
        if (type == BS_GROUPBOX) return true;
        if (type == BS_AUTORADIOBUTTON) CheckAutoRadio(*w);
        if (type == BS_AUTOCHECKBOX)
            SendMessageA(control, BM_SETCHECK, w->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
        Command(w->parent, w->id, BN_CLICKED, control);
        if (doubleClick) Command(w->parent, w->id, BN_DOUBLECLICKED, control);
        return true;
    }
    if (w->kind == WindowKind::ListBox && doubleClick) {
        Command(w->parent, w->id, LBN_DBLCLK, control);
        return true;
    }
    FocusControl(control);
    return true;
}

bool PressKey(HWND window, bool escape) {
    Window* w = FindWindow(window);
    if (!w) return false;
    if (w->kind == WindowKind::MessageBox) {
        std::vector<int> buttons = BoxButtons(w->boxType);
        if (escape) {
            if (std::find(buttons.begin(), buttons.end(), IDCANCEL) != buttons.end()) return AnswerBox(window, IDCANCEL);
            return buttons.size() == 1 && AnswerBox(window, IDOK);
        }
        return AnswerBox(window, buttons.front());
    }
    int id = IDCANCEL;
    if (!escape) {
        id = IDOK;
        for (HWND child : w->children)
            if (Window* c = FindWindow(child);
                c && c->kind == WindowKind::Button && (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                id = c->id;
    }
    HWND button = GetDlgItem(window, id);
    if (button && !IsWindowEnabled(button)) return false;
    Command(window, id, BN_CLICKED, button);
    return true;
}

bool CloseWindowByUser(HWND window) {
    Window* w = FindWindow(window);
    if (!w) return false;
    if (w->kind == WindowKind::MessageBox) return PressKey(window, true);
    SendMessageA(window, WM_CLOSE, 0, 0);
    return true;
}

bool TypeText(HWND control, const std::string& text) {
    Window* w = FindWindow(control);
    if (!Usable(w)) return false;
    if (w->kind == WindowKind::Edit) {
        if (w->style & ES_READONLY) return false;
        FocusControl(control);
        SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        return true;
    }
    if (w->kind == WindowKind::ComboBox && (w->style & 0x3) != CBS_DROPDOWNLIST) {
        w->text = text;
        w->curSel = -1;
        NotifyChanged(control);
        Command(w->parent, w->id, CBN_EDITCHANGE, control);
        return true;
    }
    return false;
}

bool SelectItem(HWND control, const std::string& text) {
    Window* w = FindWindow(control);
    if (!Usable(w)) return false;
    auto it = std::find(w->items.begin(), w->items.end(), text);
    if (it == w->items.end()) return false;
    int index = static_cast<int>(it - w->items.begin());
    if (w->kind == WindowKind::ComboBox) {
        SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        Command(w->parent, w->id, CBN_SELCHANGE, control);
        return true;
    }
    if (w->kind == WindowKind::ListBox) {
        SendMessageA(control, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
        Command(w->parent, w->id, LBN_SELCHANGE, control);
        return true;
    }
    return false;
}

bool ScrollControl(HWND scrollBar, UINT code, int pos) {
    Window* w = FindWindow(scrollBar);
    if (!Usable(w) || w->kind != WindowKind::ScrollBar) return false;
    SendMessageA(w->parent, WM_HSCROLL, MAKEWPARAM(static_cast<WORD>(code), static_cast<WORD>(pos)),
                 reinterpret_cast<LPARAM>(scrollBar));
    return true;
}

bool FocusControl(HWND control) {
    Window* w = FindWindow(control);
    if (!Usable(w)) return false;
    SetFocus(control);
    return true;
}

bool AnswerBox(HWND box, int buttonId) {
    Window* w = FindWindow(box);
    if (!w || w->kind != WindowKind::MessageBox) return false;
    std::vector<int> buttons = BoxButtons(w->boxType);
    if (std::find(buttons.begin(), buttons.end(), buttonId) == buttons.end()) return false;
    EndModal(box, buttonId);
    return true;
}

}  // namespace platform::ui
