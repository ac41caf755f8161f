#include "platform/base/devices.h"

#include <mutex>
#include <utility>
#include <vector>

namespace {
std::mutex g_openerLock;
std::vector<std::pair<int, platform::DeviceOpener>> g_openers;
int g_nextToken = 1;
}  // namespace

namespace platform {

int AddDeviceOpener(DeviceOpener opener) {
    std::lock_guard<std::mutex> lk(g_openerLock);
    g_openers.emplace_back(g_nextToken, std::move(opener));
    return g_nextToken++;
}

void RemoveDeviceOpener(int token) {
    std::lock_guard<std::mutex> lk(g_openerLock);
    std::erase_if(g_openers, [token](const auto& entry) { return entry.first == token; });
}

}  // namespace platform

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD creation, DWORD flags,
                   HANDLE) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::vector<platform::DeviceOpener> openers;
    {
        std::lock_guard<std::mutex> lk(g_openerLock);
        for (auto& entry : g_openers) openers.push_back(entry.second);
    }
    platform::OpenRequest request{name, access, share, creation, flags};
    for (auto& opener : openers) {
        HANDLE result = INVALID_HANDLE_VALUE;
        if (opener(request, &result)) return result;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}
