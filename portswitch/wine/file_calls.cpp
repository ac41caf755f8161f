#include "portswitch/wine/file_calls.h"

#include <map>
#include <set>
#include <vector>

#include "platform/base/devices.h"
#include "platform/files/win_files.h"
#include "portswitch/wine/import_routes.h"

namespace {

struct Countdown {
    std::string strPath;
    int nLeft;
};

std::vector<Countdown> g_aOpenFaults, g_aReadFaults, g_aWriteFaults;
std::vector<std::string> g_aDeleteFaults;
bool g_bFailLocalAlloc = false;
std::map<HANDLE, std::string> g_openFiles;
std::set<HLOCAL> g_localBlocks;

bool SamePath(const std::string& strPath1, const std::string& strPath2) {
    return lstrcmpiA(strPath1.c_str(), strPath2.c_str()) == 0;
}

// True when this call on the file is the one a countdown was waiting for.
bool Strikes(std::vector<Countdown>* pFaults, const std::string& strPath) {
    for (auto it = pFaults->begin(); it != pFaults->end(); ++it) {
        if (!SamePath(it->strPath, strPath) || --it->nLeft > 0) continue;
        pFaults->erase(it);
        return true;
    }
    return false;
}

std::string PathOf(HANDLE hFile) {
    auto it = g_openFiles.find(hFile);
    return it == g_openFiles.end() ? std::string() : it->second;
}

HANDLE WINAPI RoutedCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD creation, DWORD flags, HANDLE templateFile) {
    std::string strPath = name ? name : "";
    if (Strikes(&g_aOpenFaults, strPath)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE hFile = CreateFileA(name, access, share, security, creation, flags, templateFile);
    if (hFile != INVALID_HANDLE_VALUE) g_openFiles[hFile] = strPath;
    return hFile;
}

BOOL WINAPI RoutedReadFile(HANDLE hFile, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED ov) {
    if (Strikes(&g_aReadFaults, PathOf(hFile))) {
        if (done) *done = 0;
        SetLastError(ERROR_READ_FAULT);
        return FALSE;
    }
    return ReadFile(hFile, buffer, size, done, ov);
}

BOOL WINAPI RoutedWriteFile(HANDLE hFile, LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED ov) {
    if (Strikes(&g_aWriteFaults, PathOf(hFile))) {
        if (done) *done = 0;
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return WriteFile(hFile, buffer, size, done, ov);
}

BOOL WINAPI RoutedCloseHandle(HANDLE object) {
    g_openFiles.erase(object);
    return CloseHandle(object);
}

BOOL WINAPI RoutedDeleteFileA(LPCSTR name) {
    for (auto it = g_aDeleteFaults.begin(); name && it != g_aDeleteFaults.end(); ++it) {
        if (!SamePath(*it, name)) continue;
        g_aDeleteFaults.erase(it);
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return DeleteFileA(name);
}

HLOCAL WINAPI RoutedLocalAlloc(UINT flags, SIZE_T bytes) {
    if (g_bFailLocalAlloc) {
        g_bFailLocalAlloc = false;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HLOCAL block = LocalAlloc(flags, bytes);
    if (block) g_localBlocks.insert(block);
    return block;
}

HLOCAL WINAPI RoutedLocalFree(HLOCAL block) {
    g_localBlocks.erase(block);
    return LocalFree(block);
}

const ImportRoute g_routes[] = {
    {"CreateFileA", reinterpret_cast<void*>(&RoutedCreateFileA)},
    {"ReadFile", reinterpret_cast<void*>(&RoutedReadFile)},
    {"WriteFile", reinterpret_cast<void*>(&RoutedWriteFile)},
    {"CloseHandle", reinterpret_cast<void*>(&RoutedCloseHandle)},
    {"DeleteFileA", reinterpret_cast<void*>(&RoutedDeleteFileA)},
    {"LocalAlloc", reinterpret_cast<void*>(&RoutedLocalAlloc)},
    {"LocalFree", reinterpret_cast<void*>(&RoutedLocalFree)},
};

}  // namespace

bool RouteFileCalls(HMODULE hModule, std::string* pError) {
    return RouteImports(hModule, "kernel32.dll", g_routes, sizeof g_routes / sizeof g_routes[0], pError);
}

void FailFileOpen(const std::string& strPath, int nth) { g_aOpenFaults.push_back({strPath, nth}); }
void FailFileRead(const std::string& strPath, int nth) { g_aReadFaults.push_back({strPath, nth}); }
void FailFileWrite(const std::string& strPath, int nth) { g_aWriteFaults.push_back({strPath, nth}); }
void FailFileDelete(const std::string& strPath) { g_aDeleteFaults.push_back(strPath); }
void FailNextLocalAlloc() { g_bFailLocalAlloc = true; }

void ClearFileFaults() {
    g_aOpenFaults.clear();
    g_aReadFaults.clear();
    g_aWriteFaults.clear();
    g_aDeleteFaults.clear();
    g_bFailLocalAlloc = false;
}

int OpenFiles() { return static_cast<int>(g_openFiles.size()); }
int LocalBlocks() { return static_cast<int>(g_localBlocks.size()); }
