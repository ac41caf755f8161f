// The window system behind the user32 face: windows, their control state and
// the per-thread message queues. For the platform's UI layer, its backends and
// the tools that drive them; application code uses win_user.h and afxwin.h.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/base/scheduler.h"
#include "platform/ui/win_user.h"

namespace platform::ui {

enum class WindowKind { Dialog, Button, Static, Edit, ComboBox, ListBox, ScrollBar, MessageBox };

struct Window {
    HWND handle = nullptr;
    WindowKind kind = WindowKind::Static;
    DWORD threadId = 0;  // never changes: the thread that created the window serves it
    DWORD style = 0;
    DWORD exStyle = 0;
    int id = -1;
    std::string text;
    HWND parent = nullptr;
    std::vector<HWND> children;  // template order
    WNDPROC proc = nullptr;
    DLGPROC dlgProc = nullptr;  // dialogs: the program's procedure
    RECT unitsRect{};  // position and size in dialog units of the owning dialog

    // Control state.
    int check = BST_UNCHECKED;
    std::vector<std::string> items;
    int curSel = -1;
    int scrollMin = 0, scrollMax = 100, scrollPos = 0;

    // Dialog and message-box state.
    int templateId = 0;
    std::string fontName;
    int pointSize = 0;
    HICON iconBig = nullptr, iconSmall = nullptr;
    bool minimized = false;
    bool modalEnded = false;
    int modalResult = 0;
    UINT boxType = 0;  // message boxes: MB_ flags
    std::string caption;  // message boxes: the title; dialogs keep theirs in text
    std::string detail;   // message boxes: the platform's diagnosis, shown on request ("" for none)
};

// Looks a window up; nullptr when the handle names none. The pointer stays
// valid until the window is destroyed by its own thread.
Window* FindWindow(HWND hwnd);

// The thread that serves the window; false when the handle names none.
bool WindowThread(HWND hwnd, DWORD* threadId);
// Tells the backend that something a person sees of the window changed.
void NotifyChanged(HWND hwnd);

HWND CreateWindowCore(WindowKind kind, const std::string& text, DWORD style, DWORD exStyle, int id, HWND parent,
                      WNDPROC proc, RECT unitsRect);

// Modal windows of every thread, innermost last; the innermost is the active
// window, the one a person's input goes to.
std::vector<HWND> ModalStack();
HWND ActiveModal();
void PushModal(HWND hwnd);
void PopModal(HWND hwnd);

// Runs a modal loop until the window's modalEnded flag is set; returns modalResult.
int RunModalLoop(HWND hwnd);
void EndModal(HWND hwnd, int result);

// Handles every message sent to the calling thread from other threads; returns
// whether it handled one.
bool ServeSentMessages();

// Calls the window procedure on the calling thread.
LRESULT CallProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The built-in procedures of the control classes and of message boxes.
LRESULT ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The parts of a user's gesture that every backend needs: what a click, a key
// or a close does to the window it addresses. Each returns false when the
// target ignores the gesture (a disabled control, no default button).
bool ClickControl(HWND control, bool doubleClick);
bool PressKey(HWND dialog, bool escape);
bool CloseWindowByUser(HWND dialog);
bool TypeText(HWND edit, const std::string& text);
bool SelectItem(HWND control, const std::string& text);
bool ScrollControl(HWND scrollBar, UINT code, int pos);
bool FocusControl(HWND control);
bool AnswerBox(HWND box, int buttonId);

}  // namespace platform::ui
