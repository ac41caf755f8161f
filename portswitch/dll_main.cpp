// The library's entry on Windows. An extension module of the framework
// registers its resources with the framework when attached and withdraws
// them when detached; our framework classes keep no such list and the
// library has no resources but its version block, so attaching and
// detaching have nothing to do and loading never fails.
#include "platform/base/win_base.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
