#include "platform/base/prefix.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace {
std::mutex g_prefixLock;
std::string g_root;

std::string DefaultRoot() {
    if (const char* env = std::getenv("KESTRA_PREFIX"); env && *env) return env;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.kestra";
}

void Populate(const std::string& root) {
    std::error_code ec;
    std::filesystem::create_directories(root + "/drive_c/WINDOWS/SYSTEM32", ec);
    std::filesystem::create_directories(root + "/dosdevices", ec);
}
}  // namespace

namespace platform {

std::string PrefixRoot() {
    std::lock_guard<std::mutex> lk(g_prefixLock);
    if (g_root.empty()) {
        g_root = DefaultRoot();
        Populate(g_root);
    }
    return g_root;
}

void SetPrefixRoot(const std::string& root) {
    std::lock_guard<std::mutex> lk(g_prefixLock);
    g_root = root;
    Populate(g_root);
}

}  // namespace platform
