#include "platform/text/quoted_words.h"

#include <algorithm>
#include <cstdio>

namespace platform::text {

namespace {

bool IsBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\r'; }

int HexValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

// Reads the escape after a backslash at line[*pos]; false for a malformed one.
bool ReadEscape(const std::string& line, std::size_t* pos, std::string* pOut) {
    if (*pos >= line.size()) return false;
    char ch = line[(*pos)++];
    switch (ch) {
    case 'n': *pOut += '\n'; return true;
    case 'r': *pOut += '\r'; return true;
    case 't': *pOut += '\t'; return true;
    case 'a': *pOut += '\a'; return true;
    case 'b': *pOut += '\b'; return true;
    case 'f': *pOut += '\f'; return true;
    case 'v': *pOut += '\v'; return true;
    case '\\':
    case '"':
    case '\'':
    case '?': *pOut += ch; return true;
    case 'x': {
        // Exactly two digits, as Quote writes them: "\x1B5" is ESC and '5'.
        int high = *pos < line.size() ? HexValue(line[*pos]) : -1;
        int low = *pos + 1 < line.size() ? HexValue(line[*pos + 1]) : -1;
        if (high < 0 || low < 0) return false;
        *pOut += static_cast<char>(high * 16 + low);
        *pos += 2;
        return true;
    }
    default:
        if (ch < '0' || ch > '7') {
            // Kept as written, so that a Windows path such as "C:\~Name" reads as meant.
            *pOut += '\\';
            *pOut += ch;
            return true;
        }
        int value = ch - '0';
        for (int digits = 1; digits < 3 && *pos < line.size() && line[*pos] >= '0' && line[*pos] <= '7'; ++digits)
            value = value * 8 + (line[(*pos)++] - '0');
        if (value > 0xFF) return false;
        *pOut += static_cast<char>(value);
        return true;
    }
}

}  // namespace

std::string Quote(const std::string& text) {
    std::string result = "\"";
    for (char ch : text) {
        unsigned char byte = static_cast<unsigned char>(ch);
        switch (ch) {
        case '\\': result += "\\\\"; break;
        case '"': result += "\\\""; break;
        case '\n': result += "\\n"; break;
        case '\r': result += "\\r"; break;
        case '\t': result += "\\t"; break;
        default:
            if (byte >= 0x20 && byte != 0x7F) {
                result += ch;
            } else {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02X", byte);
                result += hex;
            }
        }
    }
    return result + "\"";
}

bool SplitLine(const std::string& line, std::vector<std::string>* pWords, std::string* pError) {
    pWords->clear();
    std::size_t pos = 0;
    while (true) {
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos >= line.size()) return true;
        std::string word;
        if (line[pos] != '"') {
            while (pos < line.size() && !IsBlank(line[pos]) && line[pos] != '"') word += line[pos++];
        } else {
            for (++pos;; ) {
                if (pos >= line.size()) {
                    *pError = "unterminated string";
                    return false;
                }
                char ch = line[pos++];
                if (ch == '"') break;
                if (ch != '\\') {
                    word += ch;
                } else if (!ReadEscape(line, &pos, &word)) {
                    *pError = "bad escape in string";
                    return false;
                }
            }
        }
        if (pos < line.size() && !IsBlank(line[pos])) {
            *pError = "missing blank after " + Quote(word);
            return false;
        }
        pWords->push_back(std::move(word));
    }
}

std::vector<std::string> SplitKeepingQuotes(const std::string& line) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (true) {
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos >= line.size()) return words;
        std::size_t start = pos;
        bool quoted = false;
        for (; pos < line.size() && (quoted || !IsBlank(line[pos])); ++pos) {
            if (quoted && line[pos] == '\\') ++pos;
            else if (line[pos] == '"') quoted = !quoted;
        }
        pos = std::min(pos, line.size());
        words.push_back(line.substr(start, pos - start));
    }
}

bool Unquote(const std::string& quoted, std::string* pBytes, std::string* pError) {
    if (quoted.empty() || quoted[0] != '"') {
        *pError = "not a quoted string";
        return false;
    }
    std::vector<std::string> words;
    if (!SplitLine(quoted, &words, pError)) return false;
    if (words.size() != 1) {
        *pError = "text after the quoted string";
        return false;
    }
    *pBytes = words[0];
    return true;
}

std::string TextAfterFirstWord(const std::string& line) {
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) return "";
    start = line.find_first_of(" \t", start);
    if (start == std::string::npos) return "";
    start = line.find_first_not_of(" \t", start);
    return start == std::string::npos ? "" : line.substr(start);
}

}  // namespace platform::text
