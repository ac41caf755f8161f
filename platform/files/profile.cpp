// Initialisation files read whole through CreateFileA and looked up by name.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/devices.h"
#include "platform/files/win_files.h"
#include "platform/files/win_profile.h"

namespace {

// Far beyond any file of key=value lines; more is not read.
constexpr DWORD PROFILE_READ_LIMIT = 1 << 20;

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view Trim(std::string_view text) {
    const char* blanks = " \t\r";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string PathOf(const char* fileName) {
    bool rooted = fileName[0] == '\\' || fileName[0] == '/' || (fileName[0] && fileName[1] == ':');
    if (rooted) return fileName;
    char folder[MAX_PATH] = {};
    UINT n = GetWindowsDirectoryA(folder, sizeof folder);
    if (n == 0 || n >= sizeof folder) return fileName;
    return std::string(folder) + "\\" + fileName;
}

std::optional<std::string> ReadWhole(const char* fileName) {
    HANDLE file = CreateFileA(PathOf(fileName).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string content;
    char chunk[4096];
    DWORD done = 0;
    while (content.size() < PROFILE_READ_LIMIT && ReadFile(file, chunk, sizeof chunk, &done, nullptr) && done > 0)
        content.append(chunk, done);
    CloseHandle(file);
    return content;
}

// The value of the key in the section; nullopt when the file, the section or
// the key is missing.
std::optional<std::string> FindValue(const char* section, const char* key, const char* fileName) {
    if (!section || !key || !fileName) return std::nullopt;
    std::optional<std::string> content = ReadWhole(fileName);
    if (!content) return std::nullopt;
    std::string_view rest = *content;
    bool inSection = false;
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view line = Trim(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.front() == '[') {
            size_t close = line.find(']');
            inSection = close != std::string_view::npos && SameNoCase(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos || !SameNoCase(Trim(line.substr(0, equals)), key)) continue;
        std::string_view value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return std::string(value);
    }
    return std::nullopt;
}

}  // namespace

UINT GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName) {
    std::optional<std::string> value = FindValue(lpAppName, lpKeyName, lpFileName);
    if (!value || value->empty()) return static_cast<UINT>(nDefault);
    const char* p = value->c_str();
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    unsigned base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    UINT result = 0;
    for (;; ++p) {
        int c = std::tolower(static_cast<unsigned char>(*p));
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else
            break;
        result = result * base + digit;
    }
    return negative ? 0u - result : result;
}

DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                               DWORD nSize, LPCSTR lpFileName) {
    if (!lpReturnedString || nSize == 0) return 0;
    std::optional<std::string> value = FindValue(lpAppName, lpKeyName, lpFileName);
    std::string text;
    if (value) {
        text = *value;
    } else {
        text = lpDefault ? lpDefault : "";
        text.erase(text.find_last_not_of(' ') + 1);
    }
    size_t n = std::min<size_t>(text.size(), nSize - 1);
    std::memcpy(lpReturnedString, text.data(), n);
    lpReturnedString[n] = '\0';
    return static_cast<DWORD>(n);
}
