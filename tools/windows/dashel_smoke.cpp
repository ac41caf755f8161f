// dashel-smoke DASHEL.EXE: starts Dashel, waits for its panel window, reads
// the panel's caption and its Poll Size button's text with WM_GETTEXT, closes
// the panel with WM_CLOSE and waits for the program to end. Prints what it
// read; exits 1 with the reason when a step fails or takes too long.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr DWORD STEP_MS = 50;
constexpr DWORD LIMIT_MS = 60000;  // a cold Wine start can take many seconds
constexpr int IDC_POLL_SIZE = 1000;

int Fail(const char* what) {
    std::fprintf(stderr, "dashel-smoke: %s\n", what);
    return 1;
}

// The top-level window of the process with the caption, polled until it
// appears, the process ends, or the limit passes.
HWND WaitForWindow(HANDLE process, DWORD processId, const char* caption) {
    for (DWORD waited = 0; waited < LIMIT_MS; waited += STEP_MS) {
        for (HWND w = FindWindowA(nullptr, caption); w; w = FindWindowExA(nullptr, w, nullptr, caption)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == processId && IsWindowVisible(w)) return w;
        }
        if (WaitForSingleObject(process, STEP_MS) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

bool ReadText(HWND hwnd, std::string* text) {
    char buffer[256] = "";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                             LIMIT_MS, &length))
        return false;
    text->assign(buffer, length < sizeof buffer ? length : 0);
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
    HWND panel = WaitForWindow(process.hProcess, process.dwProcessId, "Dashel");
    std::string caption, poll;
    if (!panel) {
        result = Fail("the panel window did not appear");
    } else if (!ReadText(panel, &caption) || !ReadText(GetDlgItem(panel, IDC_POLL_SIZE), &poll)) {
        result = Fail("the panel did not answer WM_GETTEXT");
    } else {
        std::printf("caption \"%s\"\nbutton %d \"%s\"\n", caption.c_str(), IDC_POLL_SIZE, poll.c_str());
        if (caption != "Dashel" || poll != "&Poll Size") result = Fail("unexpected texts");
        PostMessageA(panel, WM_CLOSE, 0, 0);
    }

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
