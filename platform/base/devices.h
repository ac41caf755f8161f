// CreateFileA and the openers behind it. A backend (files, serial ports,
// driver devices) adds an opener for the names it owns; the program or tool
// that picks the backends installs them before the application starts.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else

#include <functional>

#include "platform/base/win_base.h"

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD FILE_SHARE_DELETE = 0x00000004;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;

// Returns a handle, or INVALID_HANDLE_VALUE with the opener's error
// (ERROR_FILE_NOT_FOUND when no opener owns the name).
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD creation,
                   DWORD flags, HANDLE templateFile);

namespace platform {

struct OpenRequest {
    const char* name;
    DWORD access;
    DWORD share;
    DWORD creation;
    DWORD flags;
};

// Returns true when the opener owns the name; it then sets *result to a handle
// or to INVALID_HANDLE_VALUE after SetLastError.
using DeviceOpener = std::function<bool(const OpenRequest& request, HANDLE* result)>;

// Openers are asked in the order they were added; returns a token for RemoveDeviceOpener.
int AddDeviceOpener(DeviceOpener opener);
void RemoveDeviceOpener(int token);

}  // namespace platform

#endif  // _WIN32
