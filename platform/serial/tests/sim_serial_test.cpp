// The simulated ports: what they record, how they time reads on the virtual
// clock, and the faults they can be told to show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/diagnosis.h"
#include "platform/base/scheduler.h"
#include "platform/serial/sim_serial.h"
#include "platform/serial/win_ports.h"

namespace {

namespace sim = platform::sim_serial;

class SimPort : public ::testing::Test {
protected:
    void SetUp() override {
        platform::clock::UseVirtual();
        sim::Install();
    }
    void TearDown() override {
        sim::Uninstall();
        platform::clock::UseReal();
    }
    static HANDLE Open(const char* name = "COM1") {
        return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    }
    static std::vector<std::string> Transcript(int port) {
        std::vector<std::string> lines;
        for (const auto& e : sim::Events(port)) lines.push_back(sim::DescribeEvent(e));
        return lines;
    }
};

TEST_F(SimPort, PresenceDecidesWhatOpensAndWhatTheLinesShow) {
    EXPECT_EQ(Open("COM2"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    sim::SetPresence(2, sim::SimPresence::NoLines);
    HANDLE port = Open("\\\\.\\com2");
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DWORD lines = 0xFF;
    ASSERT_TRUE(GetCommModemStatus(port, &lines));
    EXPECT_EQ(lines, 0u);
    sim::SetModemLines(2, MS_RING_ON);
    ASSERT_TRUE(GetCommModemStatus(port, &lines));
    EXPECT_EQ(lines, MS_RING_ON);
    CloseHandle(port);
    EXPECT_EQ(Open("LPT1"), INVALID_HANDLE_VALUE);  // not a name the ports own
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    DWORD needed = 0, returned = 0;
    sim::SetEnumeratedPorts({"COM1:", "COM2:", "LPT1:"});
    EnumPortsA(nullptr, 1, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(EnumPortsA(nullptr, 1, buffer.data(), needed, &needed, &returned));
    EXPECT_EQ(returned, 3u);
}

// What the next message box of this thread would carry as its details.
TEST_F(SimPort, APortThatWillNotOpenOrShowsNoLineLeavesADiagnosis) {
    namespace diagnosis = platform::diagnosis;
    EXPECT_EQ(Open("COM2"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(diagnosis::Take(), "COM2: no such port");
    EXPECT_EQ(diagnosis::Take(), "");  // taken once

    HANDLE first = Open();
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(diagnosis::Take(), "COM1: in use by another program");
    CloseHandle(first);

    sim::SetPresence(1, sim::SimPresence::NoLines);
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DWORD lines = 0;
    for (int look = 0; look < 4; ++look) ASSERT_TRUE(GetCommModemStatus(port, &lines));
    std::string said = diagnosis::Take();
    EXPECT_NE(said.find("COM1 opened, but no modem line (CTS, DSR, RI, DCD) came up in 4 checks"), std::string::npos)
        << said;
    EXPECT_NE(said.find("carries no handshake lines"), std::string::npos) << said;

    // A line that comes up settles it; an open that works leaves nothing behind.
    ASSERT_TRUE(GetCommModemStatus(port, &lines));
    sim::SetModemLines(1, MS_DSR_ON);
    ASSERT_TRUE(GetCommModemStatus(port, &lines));
    EXPECT_EQ(diagnosis::Take(), "");
    CloseHandle(port);
    EXPECT_EQ(Open("COM3"), INVALID_HANDLE_VALUE);
    sim::SetPresence(3, sim::SimPresence::LinesUp);
    port = Open("COM3");
    EXPECT_EQ(diagnosis::Take(), "");
    CloseHandle(port);
}

TEST_F(SimPort, ReadsEndAsTheirTimeoutsSay) {
    constexpr DWORD MAX = 0xFFFFFFFF;
    struct Case {
        const char* szWhat;
        COMMTIMEOUTS timeouts;
        std::string strQueued;
        std::vector<std::pair<DWORD, std::string>> later;  // delay, bytes
        DWORD nAsk;
        std::string strGot;
        DWORD nElapsed;
    } cases[] = {
        {"interval MAX, no totals: at once", {MAX, 0, 0, 0, 0}, "abc", {{5, "d"}}, 10, "abc", 0},
        {"the panel's: total constant", {0xFFFF, 0, 1000, 2, 0}, "abc", {}, 10, "abc", 1000},
        {"total multiplier and constant", {0, 10, 100, 0, 0}, "", {}, 5, "", 150},
        {"interval after the first byte", {50, 0, 0, 0, 0}, "", {{30, "ab"}, {70, "c"}, {200, "d"}}, 10, "abc", 120},
        {"first byte only", {MAX, MAX, 500, 0, 0}, "", {{200, "xyz"}, {250, "!"}}, 10, "xyz", 200},
        {"first byte only, none comes", {MAX, MAX, 500, 0, 0}, "", {}, 10, "", 500},
        {"no timeouts: until all came", {0, 0, 0, 0, 0}, "", {{100, "ab"}, {300, "cd"}}, 4, "abcd", 300},
        {"enough queued: no wait", {0, 0, 0, 0, 0}, "abcdef", {}, 4, "abcd", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szWhat);
        HANDLE port = Open();
        ASSERT_NE(port, INVALID_HANDLE_VALUE);
        COMMTIMEOUTS timeouts = c.timeouts;
        ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
        if (!c.strQueued.empty()) sim::InjectReceived(1, c.strQueued);
        for (const auto& [delay, bytes] : c.later) sim::InjectReceived(1, bytes, delay);
        char buffer[16] = {};
        DWORD done = 0;
        DWORD start = GetTickCount();
        ASSERT_TRUE(ReadFile(port, buffer, c.nAsk, &done, nullptr));
        EXPECT_EQ(std::string(buffer, done), c.strGot);
        EXPECT_EQ(GetTickCount() - start, c.nElapsed);
        CloseHandle(port);
        Sleep(1000);  // let leftovers of this case arrive at the closed port
    }
}

TEST_F(SimPort, RecordsWhatTheProgramDidInOrder) {
    std::vector<std::string> seen;
    sim::SetObserver(1, {[&](int port, const std::string& bytes) { seen.push_back("write " + bytes); },
                         [&](int port) { seen.push_back("open"); }, [&](int port) { seen.push_back("close"); }});
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(sim::DtrOn(1));  // as the default DTR_CONTROL_ENABLE has it
    Sleep(10);
    SetCommMask(port, EV_RXCHAR);
    SetupComm(port, 4096, 4096);
    PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    COMMTIMEOUTS timeouts{0xFFFF, 0, 1000, 2, 0};
    SetCommTimeouts(port, &timeouts);
    DCB dcb{};
    GetCommState(port, &dcb);
    dcb.fOutxCtsFlow = 1;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    SetCommState(port, &dcb);
    EXPECT_FALSE(sim::DtrOn(1));
    EscapeCommFunction(port, SETDTR);
    EXPECT_TRUE(sim::DtrOn(1));
    DWORD done = 0;
    WriteFile(port, "\x1b.R2:", 5, &done, nullptr);
    CloseHandle(port);
    EXPECT_FALSE(sim::DtrOn(1));
    std::vector<std::string> expected = {
        "0 Open",
        "0 Lines DTR on RTS on",
        "10 SetCommMask 1",
        "10 SetupComm 4096 4096",
        "10 PurgeComm TXABORT|RXABORT|TXCLEAR|RXCLEAR",
        "10 SetCommTimeouts 65535 0 1000 2 0",
        "10 SetCommState 9600 8N1 binary=1 parity=0 cts=1 dsr=0 dtr=disable rts=handshake outx=0 inx=0 xon=11 "
        "xoff=13 xonlim=2048 xofflim=512",
        "10 Lines DTR off RTS on",
        "10 EscapeCommFunction SETDTR",
        "10 Lines DTR on RTS on",
        "10 Write 1B 2E 52 32 3A",
        "10 Close",
        "10 Lines DTR off RTS off",
    };
    EXPECT_EQ(Transcript(1), expected);
    EXPECT_EQ(sim::Written(1), "\x1b.R2:");
    EXPECT_EQ(seen, (std::vector<std::string>{"open", "write \x1b.R2:", "close"}));
    EXPECT_EQ(sim::CallCount(1, "GetCommState"), 1);
}

TEST_F(SimPort, AnObserverCanAnswerLikeADevice) {
    sim::SetObserver(1, {[](int port, const std::string& bytes) {
                             if (bytes == "\x1b.R2:") sim::InjectReceived(port, "OR2 100,200;", 30);
                         },
                         nullptr, nullptr});
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(port, "\x1b.R2:", 5, &done, nullptr));
    EXPECT_EQ(sim::Queued(1), 0u);
    Sleep(30);
    COMSTAT stat{};
    ASSERT_TRUE(ClearCommError(port, nullptr, &stat));
    EXPECT_EQ(stat.cbInQue, 12u);
    CloseHandle(port);
}

TEST_F(SimPort, InjectedFailuresHitTheNthCall) {
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(sim::FailCall(1, "NoSuchCall", 1, ERROR_GEN_FAILURE));
    EXPECT_FALSE(sim::FailCall(1, "SetCommState", 0, ERROR_GEN_FAILURE));

    ASSERT_TRUE(sim::FailCall(1, "SetCommState", 2, ERROR_GEN_FAILURE));
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port, &dcb));
    EXPECT_TRUE(SetCommState(port, &dcb));
    EXPECT_FALSE(SetCommState(port, &dcb));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_TRUE(SetCommState(port, &dcb));

    // A read that goes pending and then fails, as a driver reports a line fault.
    sim::InjectReceived(1, "abc");
    ASSERT_TRUE(sim::FailCall(1, "ReadFile", 1, ERROR_OPERATION_ABORTED, true));
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    char buffer[3];
    DWORD done = 0;
    EXPECT_FALSE(ReadFile(port, buffer, 3, &done, &ov));
    EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_FALSE(GetOverlappedResult(port, &ov, &done, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(sim::Queued(1), 3u);  // the failed read took nothing

    sim::SetReportPending(true);
    EXPECT_FALSE(ReadFile(port, buffer, 3, &done, &ov));
    EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_TRUE(GetOverlappedResult(port, &ov, &done, FALSE));
    EXPECT_EQ(std::string(buffer, done), "abc");
    CloseHandle(ov.hEvent);
    CloseHandle(port);

    ASSERT_TRUE(sim::FailCall(1, "CreateFileA", 1, ERROR_SHARING_VIOLATION));
    EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
}

struct BlockedRead {
    HANDLE hPort;
    DWORD nAsk;
    BOOL bOk = FALSE;
    DWORD dwError = 0;
    std::string strGot{};
    DWORD nEndedAt = 0;
};

DWORD BlockedReadProc(LPVOID p) {
    auto* r = static_cast<BlockedRead*>(p);
    char buffer[16];
    DWORD done = 0;
    r->bOk = ReadFile(r->hPort, buffer, r->nAsk, &done, nullptr);
    r->dwError = GetLastError();
    r->strGot.assign(buffer, done);
    r->nEndedAt = GetTickCount();
    return 0;
}

TEST_F(SimPort, AWaitingReadEndsOnBytesFromAnotherThreadOnPurgeOrOnClose) {
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS none{};
    ASSERT_TRUE(SetCommTimeouts(port, &none));

    BlockedRead filled{port, 4};
    HANDLE t = CreateThread(nullptr, 0, BlockedReadProc, &filled, 0, nullptr);
    Sleep(50);
    sim::InjectReceived(1, "ab");
    Sleep(50);
    sim::InjectReceived(1, "cdef");
    ASSERT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    CloseHandle(t);
    EXPECT_TRUE(filled.bOk);
    EXPECT_EQ(filled.strGot, "abcd");
    EXPECT_EQ(filled.nEndedAt, 100u);

    BlockedRead purged{port, 4};
    t = CreateThread(nullptr, 0, BlockedReadProc, &purged, 0, nullptr);
    Sleep(50);
    PurgeComm(port, PURGE_RXABORT);
    ASSERT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    CloseHandle(t);
    EXPECT_FALSE(purged.bOk);
    EXPECT_EQ(purged.dwError, ERROR_OPERATION_ABORTED);
    EXPECT_EQ(purged.strGot, "ef");  // what it had already taken is handed over, not lost

    BlockedRead closed{port, 4};
    t = CreateThread(nullptr, 0, BlockedReadProc, &closed, 0, nullptr);
    Sleep(50);
    CloseHandle(port);
    ASSERT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    CloseHandle(t);
    EXPECT_FALSE(closed.bOk);
    EXPECT_EQ(closed.dwError, ERROR_INVALID_HANDLE);
}

TEST_F(SimPort, AFullInputQueueHoldsTheDeviceOffOrOverflows) {
    struct Case {
        const char* szWhat;
        DWORD dwRtsControl;
        std::string strRead;
        DWORD dwErrors;
    } cases[] = {
        {"RTS handshake holds the rest back", RTS_CONTROL_HANDSHAKE, "0123456789AB", 0},
        {"no flow control drops the rest", RTS_CONTROL_ENABLE, "01234567", CE_RXOVER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szWhat);
        HANDLE port = Open();
        ASSERT_NE(port, INVALID_HANDLE_VALUE);
        COMMTIMEOUTS atOnce{0xFFFFFFFF, 0, 0, 0, 0};
        SetCommTimeouts(port, &atOnce);
        SetupComm(port, 8, 8);
        DCB dcb{};
        GetCommState(port, &dcb);
        dcb.fRtsControl = c.dwRtsControl;
        SetCommState(port, &dcb);
        sim::InjectReceived(1, "0123456789AB");
        EXPECT_EQ(sim::Queued(1), 8u);
        std::string got;
        char buffer[8];
        DWORD done = 0;
        do {
            ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &done, nullptr));
            got.append(buffer, done);
        } while (done > 0);
        EXPECT_EQ(got, c.strRead);
        DWORD errors = 0;
        ClearCommError(port, &errors, nullptr);
        EXPECT_EQ(errors, c.dwErrors);
        CloseHandle(port);
    }
}

TEST_F(SimPort, CtsFlowHoldsWritesUntilTheirTimeout) {
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS timeouts{0xFFFF, 0, 1000, 2, 0};
    SetCommTimeouts(port, &timeouts);
    DCB dcb{};
    GetCommState(port, &dcb);
    dcb.fOutxCtsFlow = 1;
    SetCommState(port, &dcb);
    sim::SetModemLines(1, MS_DSR_ON);
    COMSTAT stat{};
    ClearCommError(port, nullptr, &stat);
    EXPECT_TRUE(stat.fCtsHold);
    DWORD done = 99;
    DWORD start = GetTickCount();
    EXPECT_TRUE(WriteFile(port, "R1;", 3, &done, nullptr));  // a time-out is no error: the count says it
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(GetTickCount() - start, 6u);
    EXPECT_EQ(sim::Written(1), "");
    sim::SetModemLines(1, sim::LINES_UP);
    EXPECT_TRUE(WriteFile(port, "R1;", 3, &done, nullptr));
    EXPECT_EQ(done, 3u);
    EXPECT_EQ(sim::Written(1), "R1;");
    CloseHandle(port);
}

TEST_F(SimPort, AClosedPortLosesWhatTheDeviceSends) {
    EXPECT_FALSE(sim::InjectReceived(1, "early"));
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    sim::InjectReceived(1, "late", 100);
    sim::InjectReceived(1, "queued");
    CloseHandle(port);
    Sleep(200);
    port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    EXPECT_EQ(sim::Queued(1), 0u);
    CloseHandle(port);
}

TEST_F(SimPort, LineErrorsAbortIoUntilCleared) {
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DCB dcb{};
    GetCommState(port, &dcb);
    dcb.fAbortOnError = 1;
    SetCommState(port, &dcb);
    sim::InjectReceived(1, "x");
    sim::RaiseLineErrors(1, CE_FRAME);
    char c;
    DWORD done = 0;
    EXPECT_FALSE(ReadFile(port, &c, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_FALSE(WriteFile(port, "y", 1, &done, nullptr));
    DWORD errors = 0;
    ASSERT_TRUE(ClearCommError(port, &errors, nullptr));
    EXPECT_EQ(errors, CE_FRAME);
    EXPECT_TRUE(ReadFile(port, &c, 1, &done, nullptr));
    EXPECT_EQ(done, 1u);
    CloseHandle(port);
}

}  // namespace
