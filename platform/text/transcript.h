// Comparing a runner's transcript with a script's expectations, line for line.
#pragma once

#include <string>
#include <vector>

namespace platform::text {

// Empty when the transcript is exactly the expected lines; else where they
// part: "transcript line N", then the expected and the got line, indented.
std::string TranscriptMismatch(const std::vector<std::string>& got, const std::vector<std::string>& expected);

}  // namespace platform::text
