// The face functions and the backend's set-up, faults and host-path look-up.
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/files/drive_files.h"
#include "platform/files/files.h"
#include "platform/files/win_files.h"

namespace {

struct Fault {
    platform::files::detail::FaultKind kind;
    std::string strKey;
    int nLeft;  // operations to let pass before it strikes
    DWORD error;
};

std::mutex g_faultLock;
std::vector<Fault> g_faults;

std::mutex g_installLock;
bool g_bInstalled = false;

std::string KeyOf(const std::string& windowsPath) {
    platform::files::detail::DrivePath path;
    if (platform::files::detail::ResolveDrivePath(windowsPath.c_str(), &path) == ERROR_SUCCESS) return path.strKey;
    return windowsPath;
}

void AddFault(platform::files::detail::FaultKind kind, const std::string& windowsPath, int nth, DWORD error) {
    std::lock_guard<std::mutex> lk(g_faultLock);
    g_faults.push_back({kind, KeyOf(windowsPath), nth > 1 ? nth - 1 : 0, error});
}

UINT CopyFolder(const char* pszFolder, LPSTR buffer, UINT size) {
    UINT length = static_cast<UINT>(std::strlen(pszFolder));
    if (!buffer || size <= length) return length + 1;
    std::memcpy(buffer, pszFolder, length + 1);
    return length;
}

}  // namespace

namespace platform::files {

namespace detail {

DWORD TakeFault(FaultKind kind, const std::string& strKey) {
    static const char* const CALL_NAMES[] = {"CreateFileA", "ReadFile",    "WriteFile",
                                             "GetFileSize", "CloseHandle", "DeleteFileA"};
    if (DWORD error = platform::test::CallFault(CALL_NAMES[static_cast<int>(kind)], strKey.c_str())) return error;
    std::lock_guard<std::mutex> lk(g_faultLock);
    for (auto it = g_faults.begin(); it != g_faults.end(); ++it) {
        if (it->kind != kind || it->strKey != strKey) continue;
        if (it->nLeft-- > 0) return ERROR_SUCCESS;
        DWORD error = it->error;
        g_faults.erase(it);
        return error;
    }
    return ERROR_SUCCESS;
}

}  // namespace detail

void InstallDriveFiles() {
    std::lock_guard<std::mutex> lk(g_installLock);
    if (g_bInstalled) return;
    AddDeviceOpener(detail::OpenDriveFile);
    g_bInstalled = true;
}

std::string HostPath(const std::string& windowsPath) {
    detail::DrivePath path;
    return detail::ResolveDrivePath(windowsPath.c_str(), &path) == ERROR_SUCCESS ? path.strHost : std::string();
}

namespace test {
void FailOpen(const std::string& windowsPath, int nth, DWORD error) {
    AddFault(detail::FaultKind::Open, windowsPath, nth, error);
}
void FailRead(const std::string& windowsPath, int nth, DWORD error) {
    AddFault(detail::FaultKind::Read, windowsPath, nth, error);
}
void FailWrite(const std::string& windowsPath, int nth, DWORD error) {
    AddFault(detail::FaultKind::Write, windowsPath, nth, error);
}
void FailDelete(const std::string& windowsPath, DWORD error) {
    AddFault(detail::FaultKind::Delete, windowsPath, 1, error);
}
void ClearFaults() {
    std::lock_guard<std::mutex> lk(g_faultLock);
    g_faults.clear();
}
std::size_t OpenFileCount() { return detail::OpenFileCount(); }
}  // namespace test

}  // namespace platform::files

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
    bool ok = false;
    ULONGLONG size = platform::files::detail::DriveFileSize(file, &ok);
    if (!ok) return INVALID_FILE_SIZE;
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);  // a size of INVALID_FILE_SIZE is told apart by the error
    return static_cast<DWORD>(size);
}

BOOL DeleteFileA(LPCSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    platform::files::detail::DrivePath path;
    if (DWORD error = platform::files::detail::ResolveDrivePath(name, &path)) {
        SetLastError(error);
        return FALSE;
    }
    if (DWORD error = platform::files::detail::TakeFault(platform::files::detail::FaultKind::Delete, path.strKey)) {
        SetLastError(error);
        return FALSE;
    }
    return platform::files::detail::DeleteDriveFile(path);
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) { return CopyFolder("C:\\WINDOWS\\SYSTEM32", buffer, size); }
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) { return CopyFolder("C:\\WINDOWS", buffer, size); }
