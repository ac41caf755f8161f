#include "tools/panel_scenario/script.h"

#include <sstream>

#include "platform/text/quoted_words.h"

namespace scenario {

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
        std::string why;
        if (!platform::text::SplitLine(text, &line.words, &why)) {
            *error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
        lines->push_back(line);
    }
    return true;
}

}  // namespace scenario
