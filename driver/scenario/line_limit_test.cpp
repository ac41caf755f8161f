// The runner's line limit, which the fuzzer relies on: a line that waits for
// what never comes is ended by unplugging, and a long advance is no such line.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "driver/scenario/scenario_runner.h"

namespace {

int RunLimited(const std::vector<std::string>& script, std::string* transcript) {
    std::ostringstream out;
    int result;
    {
        CScenarioRunner runner(out, 0);
        runner.SetLineLimit(20 * 60 * 1000);
        result = runner.Run(script);
    }
    *transcript = out.str();
    return result;
}

TEST(LineLimit, AReadWaitingForAWakeUpEndsWhenTheCutterIsUnplugged) {
    std::string transcript;
    int result = RunLimited({"plug A", "open h \\\\.\\EZNUS0", "power A query-system 4", "power A set-system 4",
                             "read h 8", "write h \"never reached\""},
                            &transcript);
    EXPECT_EQ(result, 0) << transcript;
    EXPECT_NE(transcript.find("still running after 1200000 ms: unplugging every cutter"), std::string::npos);
    EXPECT_EQ(transcript.find("> write h"), std::string::npos) << "the rest of the script is skipped";
}

TEST(LineLimit, AnAdvanceLongerThanTheLimitIsNoStuckLine) {
    std::string transcript;
    EXPECT_EQ(RunLimited({"plug A", "advance 2577700", "open h \\\\.\\EZNUS0"}, &transcript), 0) << transcript;
    EXPECT_EQ(transcript.find("still running"), std::string::npos);
    EXPECT_NE(transcript.find("time 2577700 ms"), std::string::npos);
}

// The fuzzer's finding as it minimised it: with each line on a thread of its
// own, the write and the read run between the lines and the device-control
// request queues behind both for the request mutex.
TEST(LineLimit, AWriteAReadAndADeviceControlRequestQueueForTheMutexInTurn) {
    std::string transcript;
    int result = RunLimited({"plug A", "open h \\\\.\\EZNUS0", "outcome A pipe2 delay=4", "async w write h \"b\"",
                             "aa", "async r read h 4", "ioctl h 0"},
                            &transcript);
    EXPECT_EQ(result, 1) << transcript;  // the bad line, and nothing worse
    EXPECT_NE(transcript.find("> ioctl h 0\n  status 0xC00000BB STATUS_NOT_SUPPORTED info 0\n  elapsed 24 ms"),
              std::string::npos)
        << transcript;
}

}  // namespace
