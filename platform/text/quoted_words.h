// Lines of words and C-escaped quoted strings, for the local spooler's file
// and the scenario scripts of the tools.
#pragma once

#include <string>
#include <vector>

namespace platform::spool {

// "text" with C escapes: \\ \" \n \r \t, other bytes outside printable ASCII as
// three octal digits (so a following digit can never join the escape).
std::string Quote(const std::string& text);

// Splits a line into bare words and quoted strings (escapes resolved; an
// unknown escape such as \~ keeps its backslash). False with *pError set for
// an unterminated string, a malformed escape or text glued to a closing quote.
bool SplitLine(const std::string& line, std::vector<std::string>* pWords, std::string* pError);

}  // namespace platform::spool
