// The built-in behaviour of the control classes: buttons, statics, edits,
// combo boxes, list boxes and scroll bars.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/resources/win_styles.h"
#include "platform/ui/window_core.h"

namespace platform::ui {
namespace {

int CompareNoCase(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int ca = std::tolower(static_cast<unsigned char>(a[i]));
        int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca - cb;
    }
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

LRESULT CopyText(const std::string& text, WPARAM max, LPARAM buffer) {
    auto* out = reinterpret_cast<char*>(buffer);
    if (!out || max == 0) return 0;
    size_t n = std::min(text.size(), static_cast<size_t>(max) - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return static_cast<LRESULT>(n);
}

void Notify(Window& w, UINT code) {
    if (w.parent) SendMessageA(w.parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(w.id), static_cast<WORD>(code)),
                               reinterpret_cast<LPARAM>(w.handle));
}

bool IsCombo(const Window& w) { return w.kind == WindowKind::ComboBox; }
bool HasEditField(const Window& w) { return IsCombo(w) && (w.style & 0x3) != CBS_DROPDOWNLIST; }
bool Sorted(const Window& w) { return IsCombo(w) ? (w.style & CBS_SORT) : (w.style & LBS_SORT); }

LRESULT ListError(const Window& w) { return IsCombo(w) ? CB_ERR : LB_ERR; }

void SelectIndex(Window& w, int index) {
    w.curSel = index;
    if (IsCombo(w)) {
        std::string shown = index >= 0 ? w.items[index] : std::string();
        if (HasEditField(w) || (w.style & 0x3) == CBS_DROPDOWNLIST) w.text = shown;
    }
}

LRESULT AddItem(Window& w, int at, const char* text) {
    if (!text) return ListError(w);
    std::string item = text;
    size_t pos;
    if (at >= 0) {
        if (static_cast<size_t>(at) > w.items.size()) return ListError(w);
        pos = static_cast<size_t>(at);
    } else if (Sorted(w)) {
        pos = std::upper_bound(w.items.begin(), w.items.end(), item,
                               [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; }) -
              w.items.begin();
    } else {
        pos = w.items.size();
    }
    w.items.insert(w.items.begin() + static_cast<long>(pos), item);
    if (w.curSel >= static_cast<int>(pos)) ++w.curSel;
    return static_cast<LRESULT>(pos);
}

LRESULT FindItem(const Window& w, WPARAM start, LPARAM text, bool exact) {
    if (!text || w.items.empty()) return ListError(w);
    std::string wanted = reinterpret_cast<const char*>(text);
    int n = static_cast<int>(w.items.size());
    int first = static_cast<int>(static_cast<LONG_PTR>(start));
    first = (first < 0 || first >= n) ? 0 : first + 1;
    for (int k = 0; k < n; ++k) {
        int i = (first + k) % n;
        const std::string& item = w.items[i];
        bool match = exact ? CompareNoCase(item, wanted) == 0
                           : item.size() >= wanted.size() && CompareNoCase(item.substr(0, wanted.size()), wanted) == 0;
        if (match) return i;
    }
    return ListError(w);
}

LRESULT ListMessage(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
    bool combo = IsCombo(w);
    int count = static_cast<int>(w.items.size());
    int index = static_cast<int>(static_cast<LONG_PTR>(wParam));
    auto is = [&](UINT cb, UINT lb) { return msg == (combo ? cb : lb); };
    if (is(CB_ADDSTRING, LB_ADDSTRING)) return AddItem(w, -1, reinterpret_cast<const char*>(lParam));
    if (is(CB_INSERTSTRING, LB_INSERTSTRING))
        return AddItem(w, index < 0 ? count : index, reinterpret_cast<const char*>(lParam));
    if (is(CB_DELETESTRING, LB_DELETESTRING)) {
        if (index < 0 || index >= count) return ListError(w);
        w.items.erase(w.items.begin() + index);
        if (w.curSel == index) w.curSel = -1;
        else if (w.curSel > index) --w.curSel;
        return static_cast<LRESULT>(w.items.size());
    }
    if (is(CB_RESETCONTENT, LB_RESETCONTENT)) {
        w.items.clear();
        w.curSel = -1;
        if (combo && !HasEditField(w)) w.text.clear();
        return 0;
    }
    if (is(CB_GETCOUNT, LB_GETCOUNT)) return count;
    if (is(CB_GETCURSEL, LB_GETCURSEL)) return w.curSel >= 0 ? w.curSel : ListError(w);
    if (is(CB_SETCURSEL, LB_SETCURSEL)) {
        if (index < 0 || index >= count) {
            SelectIndex(w, -1);
            return index == -1 && !combo ? 0 : ListError(w);
        }
        SelectIndex(w, index);
        return index;
    }
    if (is(CB_GETLBTEXT, LB_GETTEXT)) {
        if (index < 0 || index >= count || !lParam) return ListError(w);
        std::strcpy(reinterpret_cast<char*>(lParam), w.items[index].c_str());
        return static_cast<LRESULT>(w.items[index].size());
    }
    if (is(CB_GETLBTEXTLEN, LB_GETTEXTLEN))
        return index < 0 || index >= count ? ListError(w) : static_cast<LRESULT>(w.items[index].size());
    if (is(CB_FINDSTRINGEXACT, LB_FINDSTRINGEXACT)) return FindItem(w, wParam, lParam, true);
    if (combo && msg == CB_FINDSTRING) return FindItem(w, wParam, lParam, false);
    if (combo && msg == CB_SELECTSTRING) {
        LRESULT found = FindItem(w, wParam, lParam, false);
        if (found != CB_ERR) SelectIndex(w, static_cast<int>(found));
        return found;
    }
    if (combo && msg == CB_INITSTORAGE) return static_cast<LRESULT>(wParam);
    if (combo && msg == CB_SETDROPPEDWIDTH) return static_cast<LRESULT>(wParam);
    return -2;  // not a list message
}

}  // namespace

LRESULT ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindow(hwnd);
    if (!w) return 0;
    switch (msg) {
    case WM_SETTEXT:
        w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        NotifyChanged(hwnd);
        if (w->kind == WindowKind::Edit) {
            Notify(*w, EN_UPDATE);
            Notify(*w, EN_CHANGE);
        }
        return TRUE;
    case WM_GETTEXT:
        return CopyText(w->text, wParam, lParam);
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_SETFOCUS:
        if (w->kind == WindowKind::Edit) Notify(*w, EN_SETFOCUS);
        if (w->kind == WindowKind::ListBox) Notify(*w, LBN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        if (w->kind == WindowKind::Edit) Notify(*w, EN_KILLFOCUS);
        return 0;
    case BM_GETCHECK:
        return w->check;
    case BM_SETCHECK:
        w->check = static_cast<int>(wParam);
        NotifyChanged(hwnd);
        return 0;
    case BM_SETSTYLE:
        w->style = (w->style & ~0xFFFFu) | static_cast<DWORD>(wParam & 0xFFFF);
        if (lParam) NotifyChanged(hwnd);
        return 0;
    case BM_CLICK:
        ClickControl(hwnd, false);
        return 0;
    case EM_SETREADONLY:
        if (wParam)
            w->style |= ES_READONLY;
        else
            w->style &= ~ES_READONLY;
        NotifyChanged(hwnd);
        return TRUE;
    case EM_SETSEL:
    case EM_LIMITTEXT:
        return 0;
    case SBM_SETRANGE:
        w->scrollMin = static_cast<int>(wParam);
        w->scrollMax = static_cast<int>(lParam);
        w->scrollPos = std::clamp(w->scrollPos, w->scrollMin, std::max(w->scrollMin, w->scrollMax));
        return 0;
    case SBM_GETRANGE:
        if (wParam) *reinterpret_cast<int*>(wParam) = w->scrollMin;
        if (lParam) *reinterpret_cast<int*>(lParam) = w->scrollMax;
        return 0;
    case SBM_SETPOS: {
        int old = w->scrollPos;
        w->scrollPos = std::clamp(static_cast<int>(wParam), w->scrollMin, std::max(w->scrollMin, w->scrollMax));
        NotifyChanged(hwnd);
        return old;
    }
    case SBM_GETPOS:
        return w->scrollPos;
    default:
        break;
    }
    if (w->kind == WindowKind::ComboBox || w->kind == WindowKind::ListBox) {
        LRESULT r = ListMessage(*w, msg, wParam, lParam);
        if (r != -2) {
            NotifyChanged(hwnd);
            return r;
        }
    }
    return 0;
}

}  // namespace platform::ui

using platform::ui::FindWindow;

int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw) {
    return static_cast<int>(SendMessageA(hwnd, SBM_SETPOS, static_cast<WPARAM>(pos), redraw));
}

int GetScrollPos(HWND hwnd, int bar) { return static_cast<int>(SendMessageA(hwnd, SBM_GETPOS, 0, 0)); }

BOOL SetScrollRange(HWND hwnd, int bar, int minPos, int maxPos, BOOL redraw) {
    if (!FindWindow(hwnd)) return FALSE;
    SendMessageA(hwnd, SBM_SETRANGE, static_cast<WPARAM>(minPos), static_cast<LPARAM>(maxPos));
    return TRUE;
}

BOOL GetScrollRange(HWND hwnd, int bar, int* minPos, int* maxPos) {
    if (!FindWindow(hwnd)) return FALSE;
    SendMessageA(hwnd, SBM_GETRANGE, reinterpret_cast<WPARAM>(minPos), reinterpret_cast<LPARAM>(maxPos));
    return TRUE;
}
