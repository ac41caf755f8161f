// dashel-smoke DASHEL.EXE: starts Dashel, waits for its panel window, reads
// the panel's caption and its Poll Size button's text with WM_GETTEXT and the
// first entry of its port list (filled from the spooler's ports), clicks Poll
// Size and reads the box that says no device answers on COM1 (which the
// caller has made /dev/null), closes the panel with WM_CLOSE and waits for
// the program to end. Prints what it read; exits 1 with the reason when a
// step fails or takes too long.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr DWORD STEP_MS = 50;
constexpr DWORD LIMIT_MS = 60000;  // a cold Wine start can take many seconds
constexpr int IDC_POLL_SIZE = 1000;
constexpr int IDC_PORT = 1021;

int Fail(const char* what) {
    std::fprintf(stderr, "dashel-smoke: %s\n", what);
    return 1;
}

constexpr int MESSAGE_BOX_TEXT = 0xFFFF;  // the id of a message box's text
const char* const NOT_CONNECTED =
    "\"Can not  connect to device.\nSerial  port disconnected or device was not ready . \"";

// A visible top-level window of the process with the caption, other than
// except; nullptr when there is none.
HWND FindShown(DWORD processId, const char* caption, HWND except) {
    for (HWND w = FindWindowA(nullptr, caption); w; w = FindWindowExA(nullptr, w, nullptr, caption)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (w != except && owner == processId && IsWindowVisible(w)) return w;
    }
    return nullptr;
}

// Polls until such a window is shown (shown true: its handle) or gone (shown
// false), the process ends, or the limit passes; false for the last two.
bool WaitForShown(HANDLE process, DWORD processId, const char* caption, HWND except, bool shown, HWND* found) {
    for (DWORD waited = 0; waited < LIMIT_MS; waited += STEP_MS) {
        *found = FindShown(processId, caption, except);
        if ((*found != nullptr) == shown) return true;
        if (WaitForSingleObject(process, STEP_MS) == WAIT_OBJECT_0) break;
    }
    return false;
}

// The text that WM_GETTEXT, or CB_GETLBTEXT of item 0, gives. Asked in
// UTF-16: Wine hands a list item to another process unconverted.
bool ReadText(HWND hwnd, std::string* text, UINT msg = WM_GETTEXT) {
    wchar_t buffer[256] = L"";
    DWORD_PTR length = 0;
    WPARAM wParam = msg == WM_GETTEXT ? 256 : 0;
    if (!SendMessageTimeoutW(hwnd, msg, wParam, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, LIMIT_MS,
                             &length) ||
        static_cast<LRESULT>(length) < 0 || length >= 256)
        return false;
    char narrow[1024] = "";
    int n = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), narrow, sizeof narrow, nullptr, nullptr);
    text->assign(narrow, n > 0 ? n : 0);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return Fail("usage: dashel-smoke DASHEL.EXE");
    std::string command = std::string("\"") + argv[1] + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return Fail("cannot start Dashel");
    CloseHandle(process.hThread);

    int result = 0;
    HWND panel = nullptr, box = nullptr;
    WaitForShown(process.hProcess, process.dwProcessId, "Dashel", nullptr, true, &panel);
    std::string caption, poll, port;
    if (!panel) {
        result = Fail("the panel window did not appear");
    } else if (!ReadText(panel, &caption) || !ReadText(GetDlgItem(panel, IDC_POLL_SIZE), &poll) ||
               !ReadText(GetDlgItem(panel, IDC_PORT), &port, CB_GETLBTEXT)) {
        result = Fail("the panel did not answer WM_GETTEXT and CB_GETLBTEXT");
    } else {
        std::printf("caption \"%s\"\nbutton %d \"%s\"\nport list \"%s\"\n", caption.c_str(), IDC_POLL_SIZE,
                    poll.c_str(), port.c_str());
        if (caption != "Dashel" || poll != "&Poll Size" || port != "COM1")
            result = Fail("unexpected texts");
        // Posted: the click's handler runs the box's modal loop before it returns.
        PostMessageA(GetDlgItem(panel, IDC_POLL_SIZE), BM_CLICK, 0, 0);
        std::string text;
        if (!WaitForShown(process.hProcess, process.dwProcessId, "Dashel", panel, true, &box) ||
            !ReadText(GetDlgItem(box, MESSAGE_BOX_TEXT), &text)) {
            result = Fail("no message box after Poll Size");
        } else {
            std::printf("box \"Dashel\" \"%s\"\n", text.c_str());
            if (text != NOT_CONNECTED) result = Fail("unexpected message box text");
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            if (!WaitForShown(process.hProcess, process.dwProcessId, "Dashel", panel, false, &box))
                result = Fail("the message box did not close");
        }
    }
    if (panel) PostMessageA(panel, WM_CLOSE, 0, 0);

    DWORD exitCode = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, LIMIT_MS) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        result = Fail("Dashel did not end");
    } else if (GetExitCodeProcess(process.hProcess, &exitCode)) {
        std::printf("exit %lu\n", static_cast<unsigned long>(exitCode));
        if (exitCode != 0) result = Fail("Dashel ended with a failure");
    }
    CloseHandle(process.hProcess);
    return result;
}
