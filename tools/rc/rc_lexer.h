// Tokens of a resource script, with #include and #define handled on the way.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/rc/rc_script.h"

namespace rc {

enum class TokenKind { Name, Number, String, Comma, Pipe, End };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string strText;  // the name, or the string's UTF-8 text with escapes resolved
    long long nValue = 0;
    SourcePos pos;
};

class CLexer {
public:
    // Reads the script at path; throws CCompileError when it cannot be read.
    explicit CLexer(const std::string& path);

    // The next token; End once the script and everything it includes is consumed.
    Token Next();
    // The value of a #define seen so far, if the name has one.
    std::optional<long long> Define(const std::string& name) const;

private:
    struct Frame {
        std::string strPath;
        std::string strText;
        size_t nPos = 0;
        int nLine = 1;
        bool bLineStart = true;
    };

    void Open(const std::string& path, const SourcePos& from);
    SourcePos Here() const;
    [[noreturn]] void Fail(const std::string& message) const;
    void SkipBlanks();
    void Directive();
    void DefineLine(const std::string& rest);
    Token NumberToken();
    Token StringToken();

    std::vector<Frame> m_aFrames;
    std::map<std::string, std::optional<long long>> m_defines;
};

// True when text is well-formed UTF-8.
bool IsValidUtf8(const std::string& text);
// Reads a whole file; false when it cannot be opened or read.
bool ReadFile(const std::string& path, std::string& text);
// The directory part of a path, with its trailing '/', or "" for a bare name.
std::string DirectoryOf(const std::string& path);

}  // namespace rc
