// The drive-file backend: paths "C:\..." (or "c:/...") are files under
// <prefix>/drive_c. A component that does not exist by its exact name is
// looked up without regard to letter case, as on Windows. Sharing modes are
// honoured between the handles of this process.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/base/win_types.h"

namespace platform::files {

// Adds the CreateFileA opener for drive paths (once; later calls do nothing).
void InstallDriveFiles();

// The host path that a Windows drive path stands for, the last component as
// given when it does not exist; empty for a name that is no drive path or
// names a folder that is missing.
std::string HostPath(const std::string& windowsPath);

// Called when a handle that wrote to a file is closed, with the path as it was
// opened (backslashes, "." and ".." resolved) and the file's whole content.
// Empty turns it off.
using ClosedWrittenFileObserver = std::function<void(const std::string& windowsPath, const std::string& content)>;
void SetClosedWrittenFileObserver(ClosedWrittenFileObserver observer);

namespace test {
// Each fault strikes once, for the named file whatever its letter case:
// the next open, or the nth read or write (1 = the next one) on any handle.
void FailOpen(const std::string& windowsPath, int nth, DWORD error);
void FailRead(const std::string& windowsPath, int nth, DWORD error);
void FailWrite(const std::string& windowsPath, int nth, DWORD error);
// The next DeleteFileA of the file fails.
void FailDelete(const std::string& windowsPath, DWORD error);
void ClearFaults();
// Drive files open now, on all handles.
std::size_t OpenFileCount();
}  // namespace test

}  // namespace platform::files
