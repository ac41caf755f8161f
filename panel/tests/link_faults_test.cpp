// Every call the serial link makes failing in turn, over one whole
// connection: open, a reply coming in, a request going out, close. Whatever
// fails, the port ends closed, the reader gone, no handle left over, and the
// user sees only the failures the link reports.
#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "panel/tests/panel_fixture.h"
#include "platform/serial/win_comm.h"

namespace sim = platform::sim_serial;

namespace {

const char* const kCalls[] = {"CreateFileA",  "GetCommModemStatus", "SetCommMask",    "SetupComm",
                              "PurgeComm",    "SetCommTimeouts",    "GetCommState",   "SetCommState",
                              "EscapeCommFunction", "ClearCommError", "ReadFile",     "WriteFile"};

const std::string kReply = "OR1,12451;";

// The next call of this name fails, once, through the base layer's fault hook.
std::atomic<const char*> g_pszFailNext{nullptr};
DWORD FailNextNamedCall(const char* pszCall, const char*) {
    const char* pszWanted = g_pszFailNext.load();
    if (!pszWanted || std::strcmp(pszCall, pszWanted) != 0) return ERROR_SUCCESS;
    g_pszFailNext.store(nullptr);
    return ERROR_NOT_ENOUGH_MEMORY;
}
const std::string kRequest = "OR1;";

// What the user and the cutter saw of one connection.
struct SOutcome {
    BOOL bOpened = FALSE;
    std::vector<std::string> aBoxes;
    std::string strReceived;  // what reached the receive buffer
    std::string strWritten;   // what reached the line
};

class LinkFaultTest : public PortRecordTest {
protected:
    void SetUp() override {
        PortRecordTest::SetUp();
        platform::test::SetCallFaultHook(FailNextNamedCall);
    }
    void TearDown() override {
        platform::test::SetCallFaultHook(nullptr);
        g_pszFailNext.store(nullptr);
        PortRecordTest::TearDown();
    }

    // One connection after arm() has set up the failure; checks that it
    // leaves nothing behind.
    template <class Arm>
    SOutcome Connect(Arm arm, const std::string& label) {
        sim::Install();
        g_strRx.Empty();
        m_user.seen.clear();
        m_user.actions.clear();
        for (int i = 0; i < 2; ++i) Answer(IDOK);  // for any box that comes
        size_t handles = platform::test::OpenHandleCount();
        arm();
        SOutcome outcome;
        outcome.bOpened = OpenPort(&m_port);
        if (outcome.bOpened) {
            sim::InjectReceived(1, kReply);
            Sleep(200);  // the reader has had many polls
            WritePort(&m_port, kRequest.c_str());
            Sleep(50);
            ClosePort(&m_port);
        }
        EXPECT_FALSE(sim::IsOpen(1)) << label;
        EXPECT_FALSE(PortIsOpen(&m_port)) << label;
        EXPECT_FALSE(g_bReaderRunning.load()) << label;
        EXPECT_EQ(g_bStopReader.load(), 0) << label;
        EXPECT_EQ(m_port.nReaderId, 0u) << label;
        EXPECT_EQ(m_port.hReader, nullptr) << label;
        EXPECT_EQ(platform::test::OpenHandleCount(), handles) << label;
        for (const std::string& seen : m_user.seen)
            if (seen.rfind("box ", 0) == 0) outcome.aBoxes.push_back(seen);
        outcome.strReceived = static_cast<const char*>(g_strRx);
        outcome.strWritten = sim::Written(1);
        return outcome;
    }
};

TEST_F(LinkFaultTest, EveryCallFailingInTurnLeavesNothingBehindAndShowsOnlyWhatTheLinkReports) {
    std::map<std::string, int> counts;
    SOutcome healthy = Connect([] {}, "healthy");
    ASSERT_TRUE(healthy.bOpened);
    ASSERT_EQ(healthy.strReceived, kReply);
    ASSERT_EQ(healthy.strWritten, kRequest);
    for (const char* call : kCalls) counts[call] = sim::CallCount(1, call);
    const int setCommMaskInReader = 2;  // after OpenPort's, before ClosePort's

    for (const char* call : kCalls) {
        for (int nth = 1; nth <= counts[call]; ++nth) {
            for (bool pending : {false, true}) {
                bool transfer = std::string(call) == "ReadFile" || std::string(call) == "WriteFile";
                if (pending && !transfer) continue;
                std::string label = std::string(call) + " #" + std::to_string(nth) + (pending ? " pending" : "");
                SOutcome o = Connect([&] { sim::FailCall(1, call, nth, ERROR_GEN_FAILURE, pending); }, label);
                std::string name = call;
                if (name == "CreateFileA") {
                    EXPECT_FALSE(o.bOpened) << label;
                    EXPECT_EQ(o.aBoxes, std::vector<std::string>{"box 0 error"}) << label;
                    continue;
                }
                if (name == "GetCommState" || name == "SetCommState") {
                    // The line could not be set: closed without a word.
                    EXPECT_FALSE(o.bOpened) << label;
                    EXPECT_TRUE(o.aBoxes.empty()) << label;
                    continue;
                }
                EXPECT_TRUE(o.bOpened) << label;
                EXPECT_TRUE(o.aBoxes.empty()) << label;
                if (name == "SetCommMask" && nth == setCommMaskInReader) {
                    EXPECT_EQ(o.strReceived, "") << label << ": the reader ends at once";
                } else {
                    // A failed read or status query loses nothing: the bytes wait for the next poll.
                    EXPECT_EQ(o.strReceived, kReply) << label;
                }
                EXPECT_EQ(o.strWritten, name == "WriteFile" ? "" : kRequest) << label;
            }
        }
    }
}

TEST_F(LinkFaultTest, AReaderThatCannotStartOrMakeItsEventLeavesThePortUsable) {
    // No thread: closed without a word.
    SOutcome noThread = Connect([] { g_pszFailNext.store("CreateThread"); }, "CreateThread");
    EXPECT_FALSE(noThread.bOpened);
    EXPECT_TRUE(noThread.aBoxes.empty());

    // No event: message 5, and the port stays open without a reader until it is closed.
    SOutcome noEvent = Connect([] { g_pszFailNext.store("CreateEventA"); }, "CreateEventA");
    EXPECT_TRUE(noEvent.bOpened);
    EXPECT_EQ(noEvent.aBoxes, std::vector<std::string>{"box 48 \"Failed to create event for thread!\""});
    EXPECT_EQ(noEvent.strReceived, "");
    EXPECT_EQ(noEvent.strWritten, kRequest);

    // The next connection works again.
    SOutcome after = Connect([] {}, "after");
    EXPECT_EQ(after.strReceived, kReply);
}

// Whether the reader, as it starts, finds its own id in the record already.
PortInfo* g_pWatchedPort = nullptr;
DWORD g_nDialogThread = 0;
std::atomic<int> g_nReaderFoundItsId{-1};
DWORD NoteReaderStart(const char* pszCall, const char*) {
    if (std::strcmp(pszCall, "CreateEventA") == 0 && GetCurrentThreadId() != g_nDialogThread)
        g_nReaderFoundItsId.store(std::atomic_ref<DWORD>(g_pWatchedPort->nReaderId).load() == GetCurrentThreadId());
    return ERROR_SUCCESS;
}

TEST_F(LinkFaultTest, AReaderThatEndsAtOnceCannotLeaveItsIdBehindToHangTheClose) {
    g_pWatchedPort = &m_port;
    g_nDialogThread = GetCurrentThreadId();
    platform::test::SetCallFaultHook(NoteReaderStart);
    const int setCommMaskInReader = 2;
    SOutcome o = Connect([] { sim::FailCall(1, "SetCommMask", setCommMaskInReader, ERROR_GEN_FAILURE); },
                         "reader's SetCommMask");
    EXPECT_EQ(g_nReaderFoundItsId.load(), 1);
    EXPECT_TRUE(o.bOpened);
    EXPECT_TRUE(o.aBoxes.empty());
    EXPECT_EQ(o.strReceived, "");
    EXPECT_EQ(o.strWritten, kRequest);
    EXPECT_EQ(Connect([] {}, "after").strReceived, kReply);
}

}  // namespace
