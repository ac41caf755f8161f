// Scenario scripts: lines of words and C-escaped strings.
#pragma once

#include <string>
#include <vector>

namespace scenario {

struct ScriptLine {
    int number;                      // 1-based line in the file
    std::string text;                // as written, without the line end
    std::vector<std::string> words;  // strings unquoted and unescaped
};

// Reads a script; blank lines and lines starting with '#' are skipped.
// Returns false with a message naming the line for a malformed string.
bool ParseScript(const std::string& content, std::vector<ScriptLine>* lines, std::string* error);

}  // namespace scenario
