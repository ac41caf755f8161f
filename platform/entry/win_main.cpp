// The program's start on Windows: the application object runs, named after
// the executable's file.
#include <windows.h>

#include <string>

#include "platform/ui/afxwin.h"

namespace {

// "C:\\...\\Dashel.exe" gives "Dashel"; the name stays alive for the run.
const char* ProgramName(HINSTANCE instance) {
    static std::string name;
    char path[MAX_PATH] = "";
    DWORD n = GetModuleFileNameA(instance, path, sizeof path);
    name.assign(path, n < sizeof path ? n : 0);
    name.erase(0, name.find_last_of("\\/") + 1);
    if (auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.erase(dot);
    return name.c_str();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return AfxWinMain(ProgramName(instance), instance); }
