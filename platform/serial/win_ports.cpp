#include "platform/serial/win_ports.h"

#include <cstring>
#include <mutex>

#include "platform/serial/comm_port.h"

namespace {
std::mutex g_listerLock;
platform::serial::PortLister g_lister;
}  // namespace

namespace platform::serial {
void SetPortLister(PortLister lister) {
    std::lock_guard<std::mutex> lk(g_listerLock);
    g_lister = std::move(lister);
}
}  // namespace platform::serial

BOOL EnumPortsA(LPSTR name, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed, LPDWORD returned) {
    if (!needed || !returned || (!ports && size != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *needed = 0;
    *returned = 0;
    if (name && *name) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    if (level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    platform::serial::PortLister lister;
    {
        std::lock_guard<std::mutex> lk(g_listerLock);
        lister = g_lister;
    }
    std::vector<std::string> names;
    if (lister) names = lister();
    SIZE_T total = names.size() * sizeof(PORT_INFO_1);
    for (const auto& n : names) total += n.size() + 1;
    if (total > 0xFFFFFFFFu) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    *needed = static_cast<DWORD>(total);
    if (size < total) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // The caller's buffer need not be aligned for pointers: store them bytewise.
    LPBYTE text = ports + names.size() * sizeof(PORT_INFO_1);
    for (SIZE_T i = 0; i < names.size(); ++i) {
        PORT_INFO_1 entry{reinterpret_cast<LPSTR>(text)};
        std::memcpy(ports + i * sizeof(PORT_INFO_1), &entry, sizeof entry);
        std::memcpy(text, names[i].c_str(), names[i].size() + 1);
        text += names[i].size() + 1;
    }
    *returned = static_cast<DWORD>(names.size());
    return TRUE;
}
