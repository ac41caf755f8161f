// Lines of words and C-escaped quoted strings: the local spooler's file and
// the scenario scripts of the three runners read and write text this way.
#pragma once

#include <string>
#include <vector>

namespace platform::text {

// "text" with \\ \" \n \r \t, \xHH (two upper-case hex digits) for the other
// bytes below 0x20 and for 0x7F; bytes from 0x80 on as they are, so that
// UTF-8 text stays readable.
std::string Quote(const std::string& text);

// Splits a line into bare words and quoted strings, escapes resolved: the
// ones Quote writes, \a \b \f \v \' \?, and up to three octal digits; an
// unknown escape such as \~ keeps its backslash. False with *pError set for
// an unterminated string, a malformed escape or text glued to a closing quote.
bool SplitLine(const std::string& line, std::vector<std::string>* pWords, std::string* pError);

// Words split at blanks, each as written: a quoted string, which may follow
// other text (key="value"), keeps its quotes and escapes and its blanks.
std::vector<std::string> SplitKeepingQuotes(const std::string& line);

// The bytes of one quoted string as SplitLine reads it; false with *pError
// for anything else.
bool Unquote(const std::string& quoted, std::string* pBytes, std::string* pError);

// What follows a line's first (bare) word and the blanks after it: the text
// of an `expect` line, matched as written.
std::string TextAfterFirstWord(const std::string& line);

}  // namespace platform::text
