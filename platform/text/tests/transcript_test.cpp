// Where a transcript and its expectations part, including a line too many or
// too few on either side.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text/transcript.h"

namespace {

using Lines = std::vector<std::string>;

TEST(Transcript, MismatchNamesTheFirstLineWhereTheyPart) {
    const struct {
        Lines got, expected;
        std::string mismatch;
    } cases[] = {
        {{"a", "b"}, {"a", "b"}, ""},
        {{}, {}, ""},
        {{"a", "b"}, {"a", "c"}, "transcript line 2\n  expected: c\n  got:      b"},
        {{"a"}, {"a", "b"}, "transcript line 2\n  expected: b\n  got:      (end of transcript)"},
        {{"a", "b"}, {"a"}, "transcript line 2\n  expected: (no more expectations)\n  got:      b"},
        {{"a "}, {"a"}, "transcript line 1\n  expected: a\n  got:      a "},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::text::TranscriptMismatch(c.got, c.expected), c.mismatch);
}

}  // namespace
