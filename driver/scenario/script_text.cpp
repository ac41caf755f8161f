#include "driver/scenario/script_text.h"

#include <cstdio>
#include <cstdlib>

#include "platform/text/quoted_words.h"
#include "platform/wdm/io.h"

namespace scenario {

std::string Hex32(ULONG value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string StatusText(NTSTATUS status) {
    static const std::map<NTSTATUS, const char*> names = {
        {STATUS_SUCCESS, "STATUS_SUCCESS"},
        {STATUS_TIMEOUT, "STATUS_TIMEOUT"},
        {STATUS_PENDING, "STATUS_PENDING"},
        {STATUS_DEVICE_BUSY, "STATUS_DEVICE_BUSY"},
        {STATUS_UNSUCCESSFUL, "STATUS_UNSUCCESSFUL"},
        {STATUS_INVALID_PARAMETER, "STATUS_INVALID_PARAMETER"},
        {STATUS_NO_SUCH_DEVICE, "STATUS_NO_SUCH_DEVICE"},
        {STATUS_INVALID_DEVICE_REQUEST, "STATUS_INVALID_DEVICE_REQUEST"},
        {STATUS_NO_MEDIA_IN_DEVICE, "STATUS_NO_MEDIA_IN_DEVICE"},
        {STATUS_NO_MEMORY, "STATUS_NO_MEMORY"},
        {STATUS_BUFFER_TOO_SMALL, "STATUS_BUFFER_TOO_SMALL"},
        {STATUS_OBJECT_NAME_NOT_FOUND, "STATUS_OBJECT_NAME_NOT_FOUND"},
        {STATUS_INSUFFICIENT_RESOURCES, "STATUS_INSUFFICIENT_RESOURCES"},
        {STATUS_DEVICE_DATA_ERROR, "STATUS_DEVICE_DATA_ERROR"},
        {STATUS_DEVICE_NOT_CONNECTED, "STATUS_DEVICE_NOT_CONNECTED"},
        {STATUS_NOT_SUPPORTED, "STATUS_NOT_SUPPORTED"},
        {STATUS_CANCELLED, "STATUS_CANCELLED"},
        {STATUS_DEVICE_CONFIGURATION_ERROR, "STATUS_DEVICE_CONFIGURATION_ERROR"},
    };
    auto it = names.find(status);
    return Hex32(static_cast<ULONG>(status)) + (it == names.end() ? "" : std::string(" ") + it->second);
}

std::string DataText(const std::vector<BYTE>& data, size_t count) {
    std::string hex;
    bool printable = count > 0;
    char byte[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        hex += byte;
        if (data[i] < 0x20 || data[i] > 0x7E) printable = false;
    }
    if (printable) hex += " " + platform::text::Quote(std::string(data.begin(), data.begin() + static_cast<long>(count)));
    return hex;
}

bool ParseNumber(const std::string& text, ULONG* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    unsigned long parsed = std::strtoul(text.c_str(), &end, 0);
    if (*end) return false;
    *value = static_cast<ULONG>(parsed);
    return true;
}

bool ParseBytes(const std::string& text, std::vector<BYTE>* bytes) {
    bytes->clear();
    if (!text.empty() && text[0] == '"') {
        std::string unquoted, error;
        if (!platform::text::Unquote(text, &unquoted, &error)) return false;
        bytes->assign(unquoted.begin(), unquoted.end());
        return bytes->size() <= kMaxBufferLength;
    }
    size_t star = text.find('*');
    if (star != std::string::npos) {
        ULONG count, value;
        if (!ParseNumber(text.substr(0, star), &count) || !ParseNumber("0x" + text.substr(star + 1), &value) ||
            count > kMaxBufferLength)
            return false;
        bytes->assign(count, static_cast<BYTE>(value));
        return true;
    }
    if (text.size() % 2) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        ULONG value;
        if (!ParseNumber("0x" + text.substr(i, 2), &value)) return false;
        bytes->push_back(static_cast<BYTE>(value));
    }
    return true;
}

// key=value options after the fixed words.
std::map<std::string, std::string> Options(const std::vector<std::string>& words, size_t from) {
    std::map<std::string, std::string> options;
    for (size_t i = from; i < words.size(); ++i) {
        size_t eq = words[i].find('=');
        if (eq == std::string::npos) options[words[i]] = "";
        else options[words[i].substr(0, eq)] = words[i].substr(eq + 1);
    }
    return options;
}

bool PnpMinor(const std::string& name, UCHAR* minor) {
    static const std::map<std::string, UCHAR> minors = {
        {"start", IRP_MN_START_DEVICE},          {"query-remove", IRP_MN_QUERY_REMOVE_DEVICE},
        {"remove", IRP_MN_REMOVE_DEVICE},        {"cancel-remove", IRP_MN_CANCEL_REMOVE_DEVICE},
        {"stop", IRP_MN_STOP_DEVICE},            {"query-stop", IRP_MN_QUERY_STOP_DEVICE},
        {"cancel-stop", IRP_MN_CANCEL_STOP_DEVICE}, {"surprise-removal", IRP_MN_SURPRISE_REMOVAL},
        {"query-capabilities", IRP_MN_QUERY_CAPABILITIES}};
    auto it = minors.find(name);
    if (it != minors.end()) {
        *minor = it->second;
        return true;
    }
    ULONG value;
    if (!ParseNumber(name, &value) || value > 0xFF) return false;
    *minor = static_cast<UCHAR>(value);
    return true;
}

}  // namespace scenario
