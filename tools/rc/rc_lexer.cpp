// Tokenizer and the small preprocessor the scripts need: #include, #define, #pragma.
#include "tools/rc/rc_lexer.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace rc {
namespace {

// Deep enough for any sensible script; stops an include cycle.
constexpr size_t MAX_INCLUDE_DEPTH = 16;

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

}  // namespace

std::string CCompileError::Describe() const {
    if (pos.strFile.empty()) return "error: " + strMessage;
    return pos.strFile + ":" + std::to_string(pos.nLine) + ": error: " + strMessage;
}

bool ReadFile(const std::string& path, std::string& text) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;  // a directory would read as empty
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return false;
    text = buffer.str();
    return true;
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool IsValidUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        int extra;
        unsigned long cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            unsigned char d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        static const unsigned long MIN_FOR_LENGTH[] = {0, 0x80, 0x800, 0x10000};
        if (cp < MIN_FOR_LENGTH[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

CLexer::CLexer(const std::string& path) { Open(path, SourcePos{}); }

void CLexer::Open(const std::string& path, const SourcePos& from) {
    if (m_aFrames.size() >= MAX_INCLUDE_DEPTH)
        throw CCompileError{from, "includes nested too deeply (an include cycle?)"};
    Frame frame;
    frame.strPath = path;
    if (!ReadFile(path, frame.strText)) throw CCompileError{from, "cannot read '" + path + "'"};
    if (frame.strText.compare(0, 3, "\xEF\xBB\xBF") == 0) frame.nPos = 3;
    m_aFrames.push_back(std::move(frame));
}

SourcePos CLexer::Here() const {
    const Frame& f = m_aFrames.back();
    return SourcePos{f.strPath, f.nLine};
}

void CLexer::Fail(const std::string& message) const { throw CCompileError{Here(), message}; }

std::optional<long long> CLexer::Define(const std::string& name) const {
    auto it = m_defines.find(name);
    if (it == m_defines.end()) return std::nullopt;
    return it->second;
}

// Skips white space and comments; a '#' first on a line runs a directive.
void CLexer::SkipBlanks() {
    while (!m_aFrames.empty()) {
        Frame& f = m_aFrames.back();
        const std::string& s = f.strText;
        if (f.nPos >= s.size()) {
            if (m_aFrames.size() == 1) return;
            m_aFrames.pop_back();
            continue;
        }
        char c = s[f.nPos];
        if (c == '\n') {
            ++f.nLine;
            ++f.nPos;
            f.bLineStart = true;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++f.nPos;
        } else if (s.compare(f.nPos, 2, "//") == 0) {
            while (f.nPos < s.size() && s[f.nPos] != '\n') ++f.nPos;
        } else if (s.compare(f.nPos, 2, "/*") == 0) {
            size_t end = s.find("*/", f.nPos + 2);
            if (end == std::string::npos) Fail("comment not closed before the end of the file");
            for (size_t i = f.nPos; i < end; ++i)
                if (s[i] == '\n') ++f.nLine;
            f.nPos = end + 2;
        } else if (c == '#' && f.bLineStart) {
            Directive();
        } else {
            return;
        }
    }
}

void CLexer::Directive() {
    Frame& f = m_aFrames.back();
    size_t end = f.strText.find('\n', f.nPos);
    if (end == std::string::npos) end = f.strText.size();
    std::string line = f.strText.substr(f.nPos + 1, end - f.nPos - 1);
    SourcePos at = Here();
    f.nPos = end;  // the newline itself is consumed by SkipBlanks, which counts the line
    // A trailing // comment belongs to no directive's value.
    size_t comment = line.find("//");
    if (comment != std::string::npos) line.erase(comment);
    for (size_t open; (open = line.find("/*")) != std::string::npos;) {
        size_t close = line.find("*/", open + 2);
        if (close == std::string::npos) throw CCompileError{at, "a comment on a directive line must end on that line"};
        line.replace(open, close + 2 - open, " ");
    }
    line = Trim(line);
    size_t wordEnd = 0;
    while (wordEnd < line.size() && IsNameChar(line[wordEnd])) ++wordEnd;
    std::string word = line.substr(0, wordEnd);
    std::string rest = Trim(line.substr(wordEnd));
    if (word == "pragma") return;
    if (word == "define") return DefineLine(rest);
    if (word == "include") {
        if (rest.size() < 2 ||
            !((rest.front() == '"' && rest.back() == '"') || (rest.front() == '<' && rest.back() == '>')))
            throw CCompileError{at, "#include needs a file name in quotes"};
        std::string name = rest.substr(1, rest.size() - 2);
        std::string path = name.front() == '/' ? name : DirectoryOf(at.strFile) + name;
        return Open(path, at);
    }
    throw CCompileError{at, "unsupported directive '#" + word + "'"};
}

// #define NAME [value]; the value is a number, a negative number, one in parentheses,
// or an earlier name.
void CLexer::DefineLine(const std::string& rest) {
    size_t nameEnd = 0;
    while (nameEnd < rest.size() && IsNameChar(rest[nameEnd])) ++nameEnd;
    std::string name = rest.substr(0, nameEnd);
    if (name.empty() || !IsNameStart(name[0])) Fail("#define needs a name");
    std::string value = Trim(rest.substr(nameEnd));
    if (value.size() >= 2 && value.front() == '(' && value.back() == ')')
        value = Trim(value.substr(1, value.size() - 2));
    std::optional<long long> number;
    if (!value.empty()) {
        bool negative = value[0] == '-';
        std::string digits = negative ? Trim(value.substr(1)) : value;
        if (!digits.empty() && IsDigit(digits[0])) {
            if (digits.size() > 1 && digits[0] == '0' && IsDigit(digits[1]))
                Fail("#define " + name + ": a leading zero would read as octal in C++; write decimal or hex");
            size_t used = 0;
            unsigned long long n = 0;
            try {
                n = std::stoull(digits, &used, 0);
            } catch (...) {
                Fail("bad number in #define " + name);
            }
            while (used < digits.size() &&
                   (digits[used] == 'L' || digits[used] == 'l' || digits[used] == 'U' || digits[used] == 'u'))
                ++used;
            if (used != digits.size() || n > 0xFFFFFFFFull) Fail("bad number in #define " + name);
            number = negative ? -static_cast<long long>(n) : static_cast<long long>(n);
        } else if (!negative && IsNameStart(digits[0])) {
            auto it = m_defines.find(digits);
            if (it == m_defines.end() || !it->second)
                Fail("#define " + name + " refers to '" + digits + "', which has no value");
            number = it->second;
        } else {
            Fail("#define " + name + " needs a number");
        }
    }
    auto it = m_defines.find(name);
    if (it != m_defines.end() && it->second != number) Fail("'" + name + "' defined again with another value");
    m_defines[name] = number;
}

Token CLexer::Next() {
    SkipBlanks();
    Frame& f = m_aFrames.back();
    Token t;
    t.pos = Here();
    if (f.nPos >= f.strText.size()) return t;
    f.bLineStart = false;
    const std::string& s = f.strText;
    char c = s[f.nPos];
    if (IsNameStart(c)) {
        size_t b = f.nPos;
        while (f.nPos < s.size() && IsNameChar(s[f.nPos])) ++f.nPos;
        t.kind = TokenKind::Name;
        t.strText = s.substr(b, f.nPos - b);
        return t;
    }
    if (IsDigit(c) || (c == '-' && f.nPos + 1 < s.size() && IsDigit(s[f.nPos + 1]))) return NumberToken();
    if (c == '"') return StringToken();
    ++f.nPos;
    switch (c) {
        case ',':
            t.kind = TokenKind::Comma;
            return t;
        case '|':
            t.kind = TokenKind::Pipe;
            return t;
        case '{':
            t.kind = TokenKind::Name;
            t.strText = "BEGIN";
            return t;
        case '}':
            t.kind = TokenKind::Name;
            t.strText = "END";
            return t;
    }
    if (std::isprint(static_cast<unsigned char>(c))) Fail(std::string("unexpected character '") + c + "'");
    Fail("unexpected byte outside a string");
}

Token CLexer::NumberToken() {
    Frame& f = m_aFrames.back();
    const std::string& s = f.strText;
    Token t;
    t.kind = TokenKind::Number;
    t.pos = Here();
    bool negative = s[f.nPos] == '-';
    if (negative) ++f.nPos;
    int base = 10;
    if (s.compare(f.nPos, 2, "0x") == 0 || s.compare(f.nPos, 2, "0X") == 0) {
        base = 16;
        f.nPos += 2;
    }
    if (base == 10 && s[f.nPos] == '0' && f.nPos + 1 < s.size() && IsDigit(s[f.nPos + 1]))
        Fail("number with a leading zero; write it in decimal or hex");
    size_t b = f.nPos;
    unsigned long long n = 0;
    while (f.nPos < s.size() && std::isxdigit(static_cast<unsigned char>(s[f.nPos]))) {
        char d = s[f.nPos];
        int v = IsDigit(d) ? d - '0' : (std::tolower(static_cast<unsigned char>(d)) - 'a' + 10);
        if (v >= base) Fail("bad digit '" + std::string(1, d) + "' in a number");
        n = n * base + v;
        if (n > 0xFFFFFFFFull) Fail("number too large");
        ++f.nPos;
    }
    if (f.nPos == b) Fail("number without digits");
    while (f.nPos < s.size() && (s[f.nPos] == 'L' || s[f.nPos] == 'l' || s[f.nPos] == 'U' || s[f.nPos] == 'u'))
        ++f.nPos;
    if (f.nPos < s.size() && IsNameChar(s[f.nPos]))
        Fail("bad character '" + std::string(1, s[f.nPos]) + "' after a number");
    t.nValue = negative ? -static_cast<long long>(n) : static_cast<long long>(n);
    return t;
}

// "text" with \n \t \r \\ \" escapes and "" for a quote character.
Token CLexer::StringToken() {
    Frame& f = m_aFrames.back();
    const std::string& s = f.strText;
    Token t;
    t.kind = TokenKind::String;
    t.pos = Here();
    ++f.nPos;
    for (;;) {
        if (f.nPos >= s.size() || s[f.nPos] == '\n' || s[f.nPos] == '\r') Fail("string not closed on its line");
        char c = s[f.nPos++];
        if (c == '"') {
            if (f.nPos < s.size() && s[f.nPos] == '"') {
                t.strText += '"';
                ++f.nPos;
                continue;
            }
            break;
        }
        if (c == '\\') {
            char e = f.nPos < s.size() ? s[f.nPos] : '\0';
            switch (e) {
                case 'n':
                    t.strText += '\n';
                    break;
                case 't':
                    t.strText += '\t';
                    break;
                case 'r':
                    t.strText += '\r';
                    break;
                case '\\':
                    t.strText += '\\';
                    break;
                case '"':
                    t.strText += '"';
                    break;
                default:
                    Fail(std::string("unsupported escape '\\") +
                         (std::isprint(static_cast<unsigned char>(e)) ? std::string(1, e) : std::string("?")) +
                         "' in a string");
            }
            ++f.nPos;
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') Fail("control character in a string");
        t.strText += c;
    }
    if (!IsValidUtf8(t.strText)) Fail("string is not valid UTF-8");
    return t;
}

}  // namespace rc
