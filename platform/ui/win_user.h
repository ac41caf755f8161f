// User32-style face: windows, messages, timers, message boxes, icons.
#pragma once

#include "platform/base/win_types.h"

// On Windows win_types.h has brought the platform's own windows.h.
#ifndef _WIN32

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ICONERASEBKGND = 0x0027;
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_USER = 0x0400;

constexpr WPARAM ICON_SMALL = 0;
constexpr WPARAM ICON_BIG = 1;

// Button messages and notifications.
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BM_SETSTYLE = 0x00F4;
constexpr UINT BM_CLICK = 0x00F5;
constexpr UINT BN_CLICKED = 0;
constexpr UINT BN_DOUBLECLICKED = 5;
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;

// Edit messages and notifications.
constexpr UINT EM_SETSEL = 0x00B1;
constexpr UINT EM_LIMITTEXT = 0x00C5;
constexpr UINT EM_SETREADONLY = 0x00CF;
constexpr UINT EN_SETFOCUS = 0x0100;
constexpr UINT EN_KILLFOCUS = 0x0200;
constexpr UINT EN_CHANGE = 0x0300;
constexpr UINT EN_UPDATE = 0x0400;

// Scroll bars.
constexpr UINT SBM_SETPOS = 0x00E0;
constexpr UINT SBM_GETPOS = 0x00E1;
constexpr UINT SBM_SETRANGE = 0x00E2;
constexpr UINT SBM_GETRANGE = 0x00E3;
constexpr UINT SB_LINELEFT = 0;
constexpr UINT SB_LINERIGHT = 1;
constexpr UINT SB_PAGELEFT = 2;
constexpr UINT SB_PAGERIGHT = 3;
constexpr UINT SB_THUMBPOSITION = 4;
constexpr UINT SB_THUMBTRACK = 5;
constexpr UINT SB_LEFT = 6;
constexpr UINT SB_RIGHT = 7;
constexpr UINT SB_ENDSCROLL = 8;
constexpr int SB_CTL = 2;

// Combo boxes.
constexpr UINT CB_GETEDITSEL = 0x0140;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_DELETESTRING = 0x0144;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_INSERTSTRING = 0x014A;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_FINDSTRING = 0x014C;
constexpr UINT CB_SELECTSTRING = 0x014D;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_FINDSTRINGEXACT = 0x0158;
constexpr UINT CB_SETDROPPEDWIDTH = 0x0160;
constexpr UINT CB_INITSTORAGE = 0x0161;
constexpr UINT CBN_SELCHANGE = 1;
constexpr UINT CBN_EDITCHANGE = 5;
constexpr LRESULT CB_ERR = -1;

// List boxes.
constexpr UINT LB_ADDSTRING = 0x0180;
constexpr UINT LB_INSERTSTRING = 0x0181;
constexpr UINT LB_DELETESTRING = 0x0182;
constexpr UINT LB_RESETCONTENT = 0x0184;
constexpr UINT LB_SETCURSEL = 0x0186;
constexpr UINT LB_GETCURSEL = 0x0188;
constexpr UINT LB_GETTEXT = 0x0189;
constexpr UINT LB_GETTEXTLEN = 0x018A;
constexpr UINT LB_GETCOUNT = 0x018B;
constexpr UINT LB_FINDSTRINGEXACT = 0x01A2;
constexpr UINT LBN_SELCHANGE = 1;
constexpr UINT LBN_DBLCLK = 2;
constexpr UINT LBN_SETFOCUS = 4;
constexpr LRESULT LB_ERR = -1;

// Dialog command ids and message-box flags.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONMASK = 0x000000F0;

constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_RESTORE = 9;

inline WORD LOWORD(UINT_PTR v) { return static_cast<WORD>(v & 0xFFFF); }
inline WORD HIWORD(UINT_PTR v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
inline WPARAM MAKEWPARAM(WORD lo, WORD hi) { return static_cast<WPARAM>(static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16)); }

struct RECT {
    LONG left, top, right, bottom;
};
using LPRECT = RECT*;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
};
using LPMSG = MSG*;

using WNDPROC = LRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void(CALLBACK*)(HWND, UINT, UINT_PTR, DWORD);
// TRUE when the dialog procedure handled the message; FALSE leaves it to the
// dialog manager's default handling.
using DLGPROC = INT_PTR(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);

// A resource named by its number.
inline LPCSTR MAKEINTRESOURCEA(UINT_PTR id) { return reinterpret_cast<LPCSTR>(id & 0xFFFF); }
#define MAKEINTRESOURCE MAKEINTRESOURCEA

// Returns the window procedure's result; 0 for an invalid window.
// Sent across threads, the call waits for the owning thread to handle it and
// serves messages sent to the caller's own thread meanwhile.
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// TRUE when the message was queued for the window's thread.
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Retrieves the next message of the calling thread, serving sent messages
// while it waits; FALSE for WM_QUIT.
BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT first, UINT last);
LRESULT DispatchMessageA(const MSG* msg);
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
// Serves sent messages, then TRUE with the oldest posted message (removed with PM_REMOVE); FALSE when none.
BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT first, UINT last, UINT remove);
constexpr DWORD QS_POSTMESSAGE = 0x0008;
constexpr DWORD QS_TIMER = 0x0010;
constexpr DWORD QS_SENDMESSAGE = 0x0040;
constexpr DWORD QS_ALLINPUT = 0x04FF;
// WAIT_OBJECT_0 + i when handle i is signalled, WAIT_OBJECT_0 + count when a
// message of the mask is queued for the thread, WAIT_TIMEOUT, or WAIT_FAILED.
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms, DWORD wakeMask);
void PostQuitMessage(int exitCode);

// Returns the timer id (non-zero), or 0 on failure. A timer with a procedure
// calls it from the message loop of the window's thread.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);

BOOL IsWindow(HWND hwnd);
HWND GetDlgItem(HWND dialog, int id);                        // NULL when no such control
int GetDlgCtrlID(HWND hwnd);
HWND GetParent(HWND hwnd);
BOOL EnableWindow(HWND hwnd, BOOL enable);                   // TRUE if it was disabled before
BOOL IsWindowEnabled(HWND hwnd);
BOOL ShowWindow(HWND hwnd, int cmd);                         // TRUE if it was visible before
BOOL IsWindowVisible(HWND hwnd);
BOOL IsIconic(HWND hwnd);
BOOL SetWindowTextA(HWND hwnd, LPCSTR text);
int GetWindowTextA(HWND hwnd, LPSTR buffer, int max);        // length copied, cut to max-1
int GetWindowTextLengthA(HWND hwnd);
LONG GetWindowLongA(HWND hwnd, int index);
LONG SetWindowLongA(HWND hwnd, int index, LONG value);       // the previous value
HWND SetFocus(HWND hwnd);                                    // the window that had the focus
HWND GetFocus();
BOOL GetClientRect(HWND hwnd, LPRECT rect);
int GetSystemMetrics(int index);
BOOL DestroyWindow(HWND hwnd);
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);

// Scroll-bar controls (bar SB_CTL): the previous position; FALSE for an invalid window.
int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw);
int GetScrollPos(HWND hwnd, int bar);
BOOL SetScrollRange(HWND hwnd, int bar, int minPos, int maxPos, BOOL redraw);
BOOL GetScrollRange(HWND hwnd, int bar, int* minPos, int* maxPos);

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
};
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint);  // NULL for an invalid window
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint);

// Returns an icon handle for the resource, or NULL.
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);

// Runs a modal message box owned by hwnd; returns the id of the button chosen.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// The active window of the program: its innermost modal dialog or message
// box; NULL when none is shown.
HWND GetActiveWindow();

// Runs the dialog of the named template modally, owned by owner (disabled
// meanwhile): WM_INITDIALOG with initParam, then every message through proc.
// Returns EndDialog's result; -1 when the template or the dialog cannot be made.
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM initParam);
// Ends the modal dialog with the result; FALSE for a window that is none.
BOOL EndDialog(HWND dialog, INT_PTR result);
// The dialog manager's default handling of a dialog's messages: the close
// box as Cancel, icons, the caption.
LRESULT DefDlgProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Copies text id (UTF-8, cut at a character boundary to fit max - 1 bytes) and a NUL into buffer.
// Returns the bytes copied without the NUL; 0 when the id has no text or buffer/max is unusable.
// Served by the resource lookup (platform/resources).
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int max);

#endif  // _WIN32
