#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/base/prefix.h"
#include "platform/files/drive_files.h"
#include "platform/files/win_files.h"

namespace platform::files::detail {

namespace {

char AsciiUpper(char ch) { return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch; }

std::string Upper(std::string_view text) {
    std::string result(text);
    for (char& ch : result) ch = AsciiUpper(ch);
    return result;
}

bool IsValidComponent(std::string_view component) {
    for (char ch : component) {
        if (static_cast<unsigned char>(ch) < 0x20) return false;
        if (std::string_view("<>:\"|?*").find(ch) != std::string_view::npos) return false;
    }
    return true;
}

// The entry of folder that is named component: its exact name when it exists,
// else the first (in name order) that differs only in letter case, else component.
std::string FindEntry(const std::filesystem::path& folder, const std::string& component) {
    std::error_code ec;
    if (std::filesystem::exists(folder / component, ec)) return component;
    std::string wanted = Upper(component);
    std::string best;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        if (Upper(name) == wanted && (best.empty() || name < best)) best = name;
    }
    return best.empty() ? component : best;
}

}  // namespace

bool IsDrivePath(const char* name) {
    if (!name) return false;
    char drive = AsciiUpper(name[0]);
    return drive >= 'A' && drive <= 'Z' && name[1] == ':' && (name[2] == '\\' || name[2] == '/');
}

DWORD ResolveDrivePath(const char* name, DrivePath* path) {
    if (!IsDrivePath(name)) return ERROR_PATH_NOT_FOUND;
    std::vector<std::string> components;
    std::string_view rest(name + 3);
    while (!rest.empty()) {
        std::size_t end = rest.find_first_of("\\/");
        std::string_view component = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (component.empty() || component == ".") continue;
        if (component == "..") {
            if (!components.empty()) components.pop_back();  // ".." stops at the root, as on Windows
            continue;
        }
        if (!IsValidComponent(component)) return ERROR_INVALID_NAME;
        components.emplace_back(component);
    }
    if (AsciiUpper(name[0]) != 'C') return ERROR_PATH_NOT_FOUND;

    path->strWindows = "C:";
    std::filesystem::path host = std::filesystem::path(PrefixRoot()) / "drive_c";
    for (std::size_t i = 0; i < components.size(); ++i) {
        std::error_code ec;
        if (!std::filesystem::is_directory(host, ec)) return ERROR_PATH_NOT_FOUND;
        host /= FindEntry(host, components[i]);
        path->strWindows += "\\" + components[i];
    }
    if (components.empty()) path->strWindows += "\\";
    path->strKey = Upper(path->strWindows);
    path->strHost = host.string();
    return ERROR_SUCCESS;
}

DWORD ErrorFromErrno(int err) {
    switch (err) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_GEN_FAILURE;
    }
}

}  // namespace platform::files::detail
