#include "platform/text/transcript.h"

#include <algorithm>

namespace platform::text {

std::string TranscriptMismatch(const std::vector<std::string>& got, const std::vector<std::string>& expected) {
    for (std::size_t i = 0; i < std::max(got.size(), expected.size()); ++i) {
        std::string strGot = i < got.size() ? got[i] : "(end of transcript)";
        std::string strExpected = i < expected.size() ? expected[i] : "(no more expectations)";
        if (strGot != strExpected)
            return "transcript line " + std::to_string(i + 1) + "\n  expected: " + strExpected + "\n  got:      " + strGot;
    }
    return "";
}

}  // namespace platform::text
