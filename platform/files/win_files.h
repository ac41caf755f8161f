// Kernel32-style face for files on the Windows drives: size, deletion and the
// system folders. Opening, reading, writing and closing go through
// CreateFileA, ReadFile, WriteFile and CloseHandle (platform/base).
#pragma once

#ifdef _WIN32
#include <windows.h>
#else

#include "platform/base/win_base.h"

constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_LOCK_VIOLATION = 33;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;

constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;
constexpr UINT MAX_PATH = 260;

// The low 32 bits of the size (the high ones in *sizeHigh when given);
// INVALID_FILE_SIZE with ERROR_INVALID_HANDLE for a handle that is no file.
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
// TRUE when the file was deleted; FALSE with ERROR_FILE_NOT_FOUND,
// ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED or ERROR_SHARING_VIOLATION (open
// without FILE_SHARE_DELETE).
BOOL DeleteFileA(LPCSTR name);
// "C:\WINDOWS\SYSTEM32" and "C:\WINDOWS": the length copied (without the
// terminating zero), or, when size is too small, the size needed including it
// with the buffer left untouched.
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);

#endif  // _WIN32
