#include "tools/panel_scenario/script.h"

#include <cctype>
#include <cstdio>
#include <sstream>

namespace scenario {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads a quoted string starting at text[*pos] == '"'; false when malformed.
bool ReadString(const std::string& text, size_t* pos, std::string* out, std::string* why) {
    size_t i = *pos + 1;
    while (i < text.size() && text[i] != '"') {
        char c = text[i++];
        if (c != '\\') {
            out->push_back(c);
            continue;
        }
        if (i >= text.size()) break;
        char e = text[i++];
        switch (e) {
        case '"': out->push_back('"'); break;
        case '\\': out->push_back('\\'); break;
        case 'n': out->push_back('\n'); break;
        case 'r': out->push_back('\r'); break;
        case 't': out->push_back('\t'); break;
        case '0': out->push_back('\0'); break;
        case 'x': {
            int hi = i < text.size() ? HexValue(text[i]) : -1;
            int lo = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
            if (hi < 0 || lo < 0) {
                *why = "\\x needs two hex digits";
                return false;
            }
            out->push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
            break;
        }
        default:
            *why = std::string("unknown escape \\") + e;
            return false;
        }
    }
    if (i >= text.size()) {
        *why = "string without its closing quote";
        return false;
    }
    *pos = i + 1;
    return true;
}

}  // namespace

bool ParseScript(const std::string& content, std::vector<ScriptLine>* lines, std::string* error) {
    std::istringstream in(content);
    std::string text;
    int number = 0;
    while (std::getline(in, text)) {
        ++number;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        size_t first = text.find_first_not_of(" \t");
        if (first == std::string::npos || text[first] == '#') continue;
        ScriptLine line{number, text, {}};
        size_t pos = first;
        while (pos < text.size()) {
            if (text[pos] == ' ' || text[pos] == '\t') {
                ++pos;
                continue;
            }
            std::string word;
            if (text[pos] == '"') {
                std::string why;
                if (!ReadString(text, &pos, &word, &why)) {
                    *error = "line " + std::to_string(number) + ": " + why;
                    return false;
                }
            } else {
                size_t end = text.find_first_of(" \t", pos);
                if (end == std::string::npos) end = text.size();
                word = text.substr(pos, end - pos);
                pos = end;
            }
            line.words.push_back(word);
        }
        lines->push_back(line);
    }
    return true;
}

std::string Quote(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"') out += "\\\"";
        else if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out + "\"";
}

}  // namespace scenario
