// kestra-sim's line faults: which replies are garbled and how, how late
// replies come, when a client is dropped; and that a seed repeats a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tools/kestra_sim/faults.h"

namespace {

using kestra_sim::CFaults;
using kestra_sim::FaultOptions;

const std::string REPLY = "OR1,1,120,250,2,1,0,1;";

// The replies of a run of n, as they go on the line, and the log notes.
std::vector<std::string> SendReplies(CFaults& faults, int n, std::vector<std::string>* notes) {
    std::vector<std::string> sent;
    for (int i = 0; i < n; ++i) {
        std::string note;
        sent.push_back(faults.NextReply(REPLY, &note));
        if (!note.empty()) notes->push_back(note);
    }
    return sent;
}

int DifferingBytes(const std::string& a, const std::string& b) {
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
    return n;
}

TEST(Faults, EveryNthReplyHasExactlyOneByteChangedAndTheLogSaysWhich) {
    CFaults faults(FaultOptions{0, 0, 3, 7});
    std::vector<std::string> notes;
    std::vector<std::string> sent = SendReplies(faults, 9, &notes);
    for (int i = 0; i < 9; ++i) {
        ASSERT_EQ(sent[i].size(), REPLY.size());
        EXPECT_EQ(DifferingBytes(sent[i], REPLY), (i + 1) % 3 == 0 ? 1 : 0) << "reply " << i + 1;
    }
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].rfind("garbled reply 3: byte ", 0), 0u) << notes[0];
    EXPECT_EQ(notes[2].rfind("garbled reply 9: byte ", 0), 0u) << notes[2];
}

TEST(Faults, TheSameSeedRepeatsARunAndAnotherSeedGivesAnother) {
    FaultOptions options{0, 500, 1, 11};
    CFaults first(options), again(options);
    options.nSeed = 12;
    CFaults other(options);
    std::vector<std::string> notes;
    std::vector<long long> jitter, jitterAgain, jitterOther;
    for (int i = 0; i < 50; ++i) {
        jitter.push_back(first.NextJitterMs());
        jitterAgain.push_back(again.NextJitterMs());
        jitterOther.push_back(other.NextJitterMs());
        EXPECT_GE(jitter.back(), 0);
        EXPECT_LE(jitter.back(), 500);
    }
    EXPECT_EQ(jitter, jitterAgain);
    EXPECT_NE(jitter, jitterOther);
    EXPECT_EQ(SendReplies(first, 20, &notes), SendReplies(again, 20, &notes));
}

// Over many replies the garbling reaches every place of a reply, and values
// that a client must cope with: NUL, the Telnet escape byte, and ';'.
TEST(Faults, GarblingReachesEveryPlaceAndTheAwkwardValues) {
    CFaults faults(FaultOptions{0, 0, 1, 1});
    std::vector<std::string> notes;
    std::vector<bool> placeHit(REPLY.size());
    bool nul = false, iac = false, semicolon = false;
    for (const std::string& sent : SendReplies(faults, 20000, &notes)) {
        for (size_t i = 0; i < REPLY.size(); ++i) {
            if (sent[i] == REPLY[i]) continue;
            placeHit[i] = true;
            nul |= sent[i] == '\0';
            iac |= static_cast<unsigned char>(sent[i]) == 0xFF;
            semicolon |= sent[i] == ';';
        }
    }
    EXPECT_EQ(std::count(placeHit.begin(), placeHit.end(), false), 0);
    EXPECT_TRUE(nul && iac && semicolon);
}

TEST(Faults, NoFaultsAskedChangeNothing) {
    CFaults faults(FaultOptions{});
    std::vector<std::string> notes;
    EXPECT_EQ(SendReplies(faults, 5, &notes), std::vector<std::string>(5, REPLY));
    EXPECT_TRUE(notes.empty());
    EXPECT_EQ(faults.NextJitterMs(), 0);
    EXPECT_EQ(faults.DropAfterMs(), 0);
    EXPECT_EQ(CFaults(FaultOptions{20, 0, 0, 1}).DropAfterMs(), 20000);
}

}  // namespace
