// The serial link driven directly: opening and its failures, the line set-up,
// closing, and the reader's hand-over of replies to the panel.
#include <string>
#include <vector>

#include "panel/tests/panel_fixture.h"
#include "platform/serial/win_comm.h"

namespace sim = platform::sim_serial;

BEGIN_MESSAGE_MAP(CRecordingPanel, CPanelDlg)
ON_BN_CLICKED(IDC_REPLY_NOTIFY, OnRecordReply)
END_MESSAGE_MAP()

namespace {

using LinkTest = PortRecordTest;

TEST_F(LinkTest, AMissingPortSaysErrorAndAPortWithNoLineUpSaysMessage1AfterFourChecks) {
    struct Case {
        sim::SimPresence presence;
        std::string box;
        int modemChecks;
        DWORD elapsed;
    };
    const Case cases[] = {
        {sim::SimPresence::Missing, "box 0 error", 0, 0},
        {sim::SimPresence::NoLines,
         "box 48 \"Can not  connect to device.\nSerial  port disconnected or device was not ready . \"", 4, 300},
    };
    for (const Case& c : cases) {
        sim::Install();
        sim::SetPresence(1, c.presence);
        m_user.seen.clear();
        Answer(IDOK);
        DWORD start = GetTickCount();
        EXPECT_EQ(OpenPort(&m_port), 0);
        EXPECT_EQ(GetTickCount() - start, c.elapsed);
        EXPECT_EQ(m_user.seen, (std::vector<std::string>{c.box, "end 1"}));
        EXPECT_EQ(sim::CallCount(1, "GetCommModemStatus"), c.modemChecks);
        EXPECT_FALSE(sim::IsOpen(1));
        EXPECT_FALSE(PortIsOpen(&m_port));
        EXPECT_FALSE(g_bReaderRunning.load());
    }
}

TEST_F(LinkTest, OpeningSetsUpTheLineAndClosingUndoesIt) {
    ASSERT_NE(OpenPort(&m_port), 0);
    EXPECT_TRUE(PortIsOpen(&m_port));
    EXPECT_TRUE(sim::DtrOn(1));
    Sleep(50);  // the reader starts
    EXPECT_TRUE(g_bReaderRunning.load());
    EXPECT_EQ(ClosePort(&m_port), 1);
    EXPECT_FALSE(sim::IsOpen(1));
    EXPECT_FALSE(g_bReaderRunning.load());
    EXPECT_EQ(m_port.nReaderId, 0u);

    std::vector<std::string> calls;
    for (const sim::SimEvent& e : sim::Events(1)) {
        if (e.eCall == sim::SimCall::Lines) continue;
        std::string d = sim::DescribeEvent(e);
        calls.push_back(d.substr(d.find(' ') + 1));  // without the time
    }
    std::vector<std::string> expected = {
        "Open",
        "SetCommMask 1",
        "SetupComm 4096 4096",
        "PurgeComm TXABORT|RXABORT|TXCLEAR|RXCLEAR",
        "SetCommTimeouts 65535 0 1000 2 0",
    };
    ASSERT_GE(calls.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 5), expected);
    EXPECT_EQ(calls.back(), "Close");
    EXPECT_FALSE(sim::DtrOn(1));
    EXPECT_EQ(calls[calls.size() - 2], "PurgeComm TXABORT|RXABORT|TXCLEAR|RXCLEAR");
}

TEST_F(LinkTest, TheLineSetupChangesOnlyTheMembersItOwns) {
    struct Case {
        BYTE handshake;
        DWORD dsrFlow, dtrControl, ctsFlow, rtsControl, xonXoff;
    };
    const Case cases[] = {
        {2, 0, DTR_CONTROL_ENABLE, 1, RTS_CONTROL_HANDSHAKE, 0},
        {1, 1, DTR_CONTROL_HANDSHAKE, 0, RTS_CONTROL_ENABLE, 0},
        {4, 0, DTR_CONTROL_ENABLE, 0, RTS_CONTROL_ENABLE, 1},
    };
    for (const Case& c : cases) {
        sim::Install();
        m_port.nHandshake = c.handshake;
        m_port.hPort = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED, nullptr);
        DCB before{};
        before.DCBlength = sizeof before;
        GetCommState(m_port.hPort, &before);
        ASSERT_TRUE(ConfigureLine(&m_port));
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(m_port.hPort, &dcb);
        EXPECT_EQ(dcb.BaudRate, 9600u);
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_EQ(dcb.Parity, NOPARITY);
        EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
        EXPECT_EQ(dcb.fOutxDsrFlow, c.dsrFlow);
        EXPECT_EQ(dcb.fDtrControl, c.dtrControl);
        EXPECT_EQ(dcb.fOutxCtsFlow, c.ctsFlow);
        EXPECT_EQ(dcb.fRtsControl, c.rtsControl);
        EXPECT_EQ(dcb.fOutX, c.xonXoff);
        EXPECT_EQ(dcb.fInX, c.xonXoff);
        EXPECT_EQ(dcb.XonChar, 0x11);
        EXPECT_EQ(dcb.XoffChar, 0x13);
        EXPECT_EQ(dcb.XonLim, 100);
        EXPECT_EQ(dcb.XoffLim, 100);
        EXPECT_EQ(dcb.fBinary, 1u);
        EXPECT_EQ(dcb.fParity, 1u);
        EXPECT_EQ(dcb.fAbortOnError, before.fAbortOnError);
        EXPECT_EQ(dcb.EofChar, before.EofChar);
        CloseHandle(m_port.hPort);
    }
}

TEST_F(LinkTest, ClosingWhileDataStreamsInWaitsUntilAPollFindsTheQueueEmpty) {
    ASSERT_NE(OpenPort(&m_port), 0);
    Sleep(20);
    sim::InjectReceived(1, std::string(2000, 'x'));
    Sleep(15);  // the reader is busy reading
    ASSERT_GT(g_strRx.GetLength(), 0);
    DWORD start = GetTickCount();
    ClosePort(&m_port);
    // 80 bytes a read, 5 ms after each: 25 reads before the queue is empty,
    // at most two of them before the close.
    EXPECT_GE(GetTickCount() - start, 23u * 5);
    EXPECT_EQ(g_strRx.GetLength(), 2000);
    EXPECT_EQ(m_port.nReaderId, 0u);
}

// The reader hands replies to a running panel; each case is a list of
// chunks the device sends and the replies taken after each.
struct HandOverCase {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<std::vector<std::string>> takenAfter;
    std::string leftOver;
};

class HandOverTest : public PanelTest, public ::testing::WithParamInterface<HandOverCase> {};

TEST_P(HandOverTest, OneReplyPerNotificationAndOnlyWhenTheBufferHoldsASemicolon) {
    const HandOverCase& c = GetParam();
    CRecordingPanel panel;
    g_pPanelDlg = &panel;
    Then([&] { ASSERT_NE(OpenPort(panel.m_pPort), 0); });
    for (size_t i = 0; i < c.chunks.size(); ++i) {
        Then([&, i] { sim::InjectReceived(1, c.chunks[i]); });
        Pause();
        Then([&, i] { EXPECT_EQ(panel.m_aReplies, c.takenAfter[i]) << "after chunk " << i; });
    }
    Then([&] {
        EnterCriticalSection(&g_rxLock);
        EXPECT_EQ(std::string(g_strRx), c.leftOver);
        LeaveCriticalSection(&g_rxLock);
    });
    Escape();
    EXPECT_EQ(panel.DoModal(), IDCANCEL);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, HandOverTest,
    ::testing::Values(
        HandOverCase{"TwoRepliesInOneRead", {"OR2,1,2;OR1,3;", "x"}, {{"OR2,1,2;"}, {"OR2,1,2;", "OR1,3;"}}, "x"},
        HandOverCase{"ASplitReply", {"OR2,1", ",2;"}, {{}, {"OR2,1,2;"}}, ""},
        HandOverCase{"ANulByteEndsTheTextOfItsRead", {std::string("AB\0CD;", 6), "X;"}, {{}, {"ABX;"}}, ""},
        HandOverCase{"TextWithoutASemicolonIsNeverTaken", {"abc", "def"}, {{}, {}}, "abcdef"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PanelTest, ADeviceThatNeverSendsASemicolonCannotGrowTheBufferWithoutBound) {
    CRecordingPanel panel;
    g_pPanelDlg = &panel;
    Then([&] { ASSERT_NE(OpenPort(panel.m_pPort), 0); });
    Then([&] { sim::InjectReceived(1, std::string(70000, 'x') + "END"); });
    Pause(50);
    Then([&] {
        EnterCriticalSection(&g_rxLock);
        EXPECT_EQ(g_strRx.GetLength(), RX_BUFFER_LIMIT);
        EXPECT_EQ(std::string(g_strRx.Right(3)), "END");
        LeaveCriticalSection(&g_rxLock);
        EXPECT_TRUE(panel.m_aReplies.empty());
    });
    Escape();
    panel.DoModal();
}

TEST_F(PanelTest, StoppingTheReaderWhileItWaitsInItsNotificationServesTheNotification) {
    CRecordingPanel panel;
    panel.m_bBoxOnReply = true;
    g_pPanelDlg = &panel;
    Then([&] { ASSERT_NE(OpenPort(panel.m_pPort), 0); });
    Pause();
    // The reply arrives and the dialog thread at once waits for the reader to
    // stop; the notification, with the box it opens, is served inside that wait.
    Then([&] {
        sim::InjectReceived(1, "OR4,1;");
        StopReader();
        EXPECT_FALSE(g_bReaderRunning.load());
        EXPECT_EQ(panel.m_aReplies, std::vector<std::string>{"OR4,1;"});
    });
    Answer(IDOK);
    Escape();
    EXPECT_EQ(panel.DoModal(), IDCANCEL);
    EXPECT_EQ(m_user.seen, (std::vector<std::string>{"dialog 102", "box 48 \"Connecting error!!\"", "end 1", "end 2"}));
}

}  // namespace
