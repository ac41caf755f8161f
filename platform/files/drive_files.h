// Inside the drive-file backend: path mapping, the open-file table and faults.
#pragma once

#include <string>

#include "platform/base/devices.h"
#include "platform/base/kernel_object.h"

namespace platform::files::detail {

struct DrivePath {
    std::string strWindows;  // "C:\Dir\Name" as the caller spelled it
    std::string strKey;      // strWindows in upper case: names the file whatever the case
    std::string strHost;
};

// True for "X:\..." and "X:/...".
bool IsDrivePath(const char* name);
// ERROR_SUCCESS with the path; ERROR_PATH_NOT_FOUND when a folder on the way
// is missing (or another drive than C: is named); ERROR_INVALID_NAME for
// characters Windows refuses in a name.
DWORD ResolveDrivePath(const char* name, DrivePath* path);
DWORD ErrorFromErrno(int err);

enum class FaultKind { Open, Read, Write, Size, Close, Delete };
// The error of a fault that strikes now (a test's call-fault hook asked
// first), else ERROR_SUCCESS.
DWORD TakeFault(FaultKind kind, const std::string& strKey);

// The CreateFileA opener; false for names that are no drive paths.
bool OpenDriveFile(const OpenRequest& request, HANDLE* result);
BOOL DeleteDriveFile(const DrivePath& path);
std::size_t OpenFileCount();
// INVALID_FILE_SIZE after SetLastError for a handle that is no drive file.
ULONGLONG DriveFileSize(HANDLE file, bool* ok);

}  // namespace platform::files::detail
