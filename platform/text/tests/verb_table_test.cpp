// How a runner's table answers a line: its handler, the handler's own reason,
// the usage for a line of the wrong length, or an unknown verb.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text/verb_table.h"

namespace {

using Words = std::vector<std::string>;

struct CRunner {
    using SVerb = platform::text::SVerb<bool (CRunner::*)(const Words&, std::string*)>;
    static const SVerb kVerbs[2];

    bool Show(const Words&, std::string*) {
        ++nShown;
        return true;
    }
    bool Fail(const Words& words, std::string* pError) {
        if (words.size() == 3) *pError = "the count must be 1 or more";
        return false;
    }
    int nShown = 0;
};

const CRunner::SVerb CRunner::kVerbs[2] = {
    {"show", 1, 1, &CRunner::Show, "show"},
    {"fail", 2, platform::text::kAnyWordCount, &CRunner::Fail, "fail WHAT [N]"},
};

TEST(VerbTable, RunVerbAnswersEveryKindOfLine) {
    const struct {
        Words words;
        bool ok;
        std::string error;
        int shown;
    } cases[] = {
        {{"show"}, true, "", 1},
        {{"show", "extra"}, false, "usage: show", 0},
        {{"fail"}, false, "usage: fail WHAT [N]", 0},
        {{"fail", "open"}, false, "usage: fail WHAT [N]", 0},
        {{"fail", "read", "0"}, false, "the count must be 1 or more", 0},
        {{"Show"}, false, "unknown command Show", 0},
    };
    for (const auto& c : cases) {
        CRunner runner;
        std::string error = "left from an earlier line";
        EXPECT_EQ(platform::text::RunVerb(&runner, CRunner::kVerbs, c.words, &error), c.ok) << c.words[0];
        EXPECT_EQ(error, c.ok ? "" : c.error) << c.words[0];
        EXPECT_EQ(runner.nShown, c.shown) << c.words[0];
    }
}

}  // namespace
