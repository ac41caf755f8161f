// What a program sees through the serial face, the same on every backend.
#include <string>

#include "port_fixture.h"

namespace {

struct LineCase {
    const char* szName;
    DWORD dwBaud;
    BYTE nByteSize;
    BYTE nParity;
    BYTE nStopBits;
    BYTE nHandshake;  // 1 DTR/DSR, 2 RTS/CTS, 4 XON/XOFF, as the panel's record holds it
    bool bPtyHolds;   // a pseudo-terminal keeps 8 data bits and no parity whatever it is told
};

const LineCase LINE_CASES[] = {
    {"panel 9600 8N1 RTS/CTS", 9600, 8, NOPARITY, ONESTOPBIT, 2, true},
    {"19200 8N2 XON/XOFF", 19200, 8, NOPARITY, TWOSTOPBITS, 4, true},
    {"115200 8N1 DTR/DSR", 115200, 8, NOPARITY, ONESTOPBIT, 1, true},
    {"4800 7E1", 4800, 7, EVENPARITY, ONESTOPBIT, 0, false},
    {"1200 5M1.5", 1200, 5, MARKPARITY, ONE5STOPBITS, 0, false},
};

// The panel's line setup: change these members, keep the rest as the port had them.
DCB LineSetup(DCB dcb, const LineCase& c) {
    dcb.BaudRate = c.dwBaud;
    dcb.ByteSize = c.nByteSize;
    dcb.Parity = c.nParity;
    dcb.StopBits = c.nStopBits;
    bool dtr = c.nHandshake & 1, rts = c.nHandshake & 2, xon = c.nHandshake & 4;
    dcb.fOutxDsrFlow = dtr;
    dcb.fDtrControl = dtr ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
    dcb.fOutxCtsFlow = rts;
    dcb.fRtsControl = rts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fOutX = dcb.fInX = xon;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 100;
    dcb.XoffLim = 100;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    return dcb;
}

void ExpectSameLine(const DCB& got, const DCB& want) {
    EXPECT_EQ(got.DCBlength, sizeof(DCB));
    EXPECT_EQ(got.BaudRate, want.BaudRate);
    EXPECT_EQ(got.ByteSize, want.ByteSize);
    EXPECT_EQ(got.Parity, want.Parity);
    EXPECT_EQ(got.StopBits, want.StopBits);
    EXPECT_EQ(got.fBinary, want.fBinary);
    EXPECT_EQ(got.fParity, want.fParity);
    EXPECT_EQ(got.fOutxCtsFlow, want.fOutxCtsFlow);
    EXPECT_EQ(got.fOutxDsrFlow, want.fOutxDsrFlow);
    EXPECT_EQ(got.fDtrControl, want.fDtrControl);
    EXPECT_EQ(got.fRtsControl, want.fRtsControl);
    EXPECT_EQ(got.fOutX, want.fOutX);
    EXPECT_EQ(got.fInX, want.fInX);
    EXPECT_EQ(got.XonChar, want.XonChar);
    EXPECT_EQ(got.XoffChar, want.XoffChar);
    EXPECT_EQ(got.XonLim, want.XonLim);
    EXPECT_EQ(got.XoffLim, want.XoffLim);
}

TEST_P(PortTest, LineSettingsReadBackAsSet) {
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    for (const LineCase& c : LINE_CASES) {
        if (GetParam() == Backend::Pty && !c.bPtyHolds) continue;
        SCOPED_TRACE(c.szName);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(GetCommState(port, &dcb));
        DCB want = LineSetup(dcb, c);
        DCB set = want;
        ASSERT_TRUE(SetCommState(port, &set));
        DCB got{};
        ASSERT_TRUE(GetCommState(port, &got));
        ExpectSameLine(got, want);
    }
    CloseHandle(port);
}

TEST_P(PortTest, RefusedSettingsLeaveThePortAsItWas) {
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DCB before{};
    ASSERT_TRUE(GetCommState(port, &before));
    struct Bad {
        const char* szWhat;
        void (*spoil)(DCB&);
    } bad[] = {
        {"baud 0", [](DCB& d) { d.BaudRate = 0; }},
        {"4 data bits", [](DCB& d) { d.ByteSize = 4; }},
        {"9 data bits", [](DCB& d) { d.ByteSize = 9; }},
        {"parity 5", [](DCB& d) { d.Parity = 5; }},
        {"stop bits 3", [](DCB& d) { d.StopBits = 3; }},
        {"1.5 stop bits with 8 data bits", [](DCB& d) { d.StopBits = ONE5STOPBITS; }},
        {"2 stop bits with 5 data bits", [](DCB& d) { d.ByteSize = 5, d.StopBits = TWOSTOPBITS; }},
        {"XON equal to XOFF with XON/XOFF on", [](DCB& d) { d.fOutX = 1, d.XonChar = d.XoffChar = 0x11; }},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.szWhat);
        DCB dcb = before;
        b.spoil(dcb);
        SetLastError(0);
        EXPECT_FALSE(SetCommState(port, &dcb));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        DCB after{};
        ASSERT_TRUE(GetCommState(port, &after));
        ExpectSameLine(after, before);
    }
    EXPECT_FALSE(SetCommState(port, nullptr));
    CloseHandle(port);
}

TEST_P(PortTest, TimeoutsMaskAndQueuesAreKept) {
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS set{0xFFFF, 0, 1000, 2, 0};
    ASSERT_TRUE(SetCommTimeouts(port, &set));
    COMMTIMEOUTS got{};
    ASSERT_TRUE(GetCommTimeouts(port, &got));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&got), sizeof got), std::string(reinterpret_cast<char*>(&set), sizeof set));
    COMMTIMEOUTS allMax{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0};
    EXPECT_FALSE(SetCommTimeouts(port, &allMax));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    DWORD mask = 0;
    ASSERT_TRUE(GetCommMask(port, &mask));
    EXPECT_EQ(mask, EV_RXCHAR);
    EXPECT_TRUE(SetupComm(port, 4096, 4096));
    EXPECT_FALSE(SetupComm(port, 0, 4096));
    EXPECT_TRUE(PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR));
    EXPECT_FALSE(PurgeComm(port, 0x10));
    CloseHandle(port);
}

TEST_P(PortTest, BytesFromTheDeviceAreQueuedAndReadOverlapped) {
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS timeouts{0xFFFF, 0, 1000, 2, 0};
    ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
    const std::string reply = std::string("OR2 123,456;\0tail", 17);
    DeviceSends(port, reply);
    DWORD errors = 99;
    COMSTAT stat{};
    ASSERT_TRUE(ClearCommError(port, &errors, &stat));
    EXPECT_EQ(errors, 0u);
    ASSERT_EQ(stat.cbInQue, reply.size());

    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    char buffer[80] = {};
    DWORD done = 0;
    DWORD start = GetTickCount();
    BOOL ok = ReadFile(port, buffer, stat.cbInQue, &done, &ov);
    if (!ok) {
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    }
    ASSERT_TRUE(GetOverlappedResult(port, &ov, &done, TRUE));
    EXPECT_EQ(std::string(buffer, done), reply);
    EXPECT_EQ(GetTickCount() - start, 0u);  // all of it was queued: no waiting
    ASSERT_TRUE(ClearCommError(port, nullptr, &stat));
    EXPECT_EQ(stat.cbInQue, 0u);
    CloseHandle(ov.hEvent);
    CloseHandle(port);
}

TEST_P(PortTest, ReadingMoreThanQueuedEndsAtTheTotalTimeout) {
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS timeouts{0xFFFF, 0, 1000, 2, 0};
    ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
    DeviceSends(port, "abc");
    char buffer[10];
    DWORD done = 0;
    DWORD start = GetTickCount();
    ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "abc");
    EXPECT_EQ(GetTickCount() - start, 1000u);
    CloseHandle(port);
}

TEST_P(PortTest, WrittenBytesReachTheDevice) {
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS timeouts{0xFFFF, 0, 1000, 2, 0};
    ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
    const std::string command = "\x1b.R2:";
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD done = 0;
    BOOL ok = WriteFile(port, command.data(), static_cast<DWORD>(command.size()), &done, &ov);
    if (!ok) {
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    }
    ASSERT_TRUE(GetOverlappedResult(port, &ov, &done, TRUE));
    EXPECT_EQ(done, command.size());
    EXPECT_EQ(DeviceReceived(command.size()), command);
    CloseHandle(ov.hEvent);
    CloseHandle(port);
}

TEST_P(PortTest, SecondOpenIsRefusedUntilTheFirstCloses) {
    HANDLE first = Open();
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    ASSERT_TRUE(CloseHandle(first));
    HANDLE again = Open(0);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST_P(PortTest, ModemLinesAndLineControl) {
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DWORD lines = 0xFFFF;
    ASSERT_TRUE(GetCommModemStatus(port, &lines));
    EXPECT_EQ(lines, LinesPresent());
    EXPECT_FALSE(GetCommModemStatus(port, nullptr));
    EXPECT_TRUE(EscapeCommFunction(port, SETDTR));
    EXPECT_TRUE(EscapeCommFunction(port, CLRDTR));
    EXPECT_TRUE(EscapeCommFunction(port, SETRTS));
    EXPECT_FALSE(EscapeCommFunction(port, 99));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    DCB dcb{};
    ASSERT_TRUE(GetCommState(port, &dcb));
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    ASSERT_TRUE(SetCommState(port, &dcb));
    EXPECT_FALSE(EscapeCommFunction(port, SETDTR));  // the handshake owns the line
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(EscapeCommFunction(port, CLRRTS));
    CloseHandle(port);
}

TEST_P(PortTest, PurgeDropsWhatIsQueued) {
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DeviceSends(port, "stale;");
    ASSERT_TRUE(PurgeComm(port, PURGE_RXCLEAR));
    COMSTAT stat{};
    ASSERT_TRUE(ClearCommError(port, nullptr, &stat));
    EXPECT_EQ(stat.cbInQue, 0u);
    CloseHandle(port);
}

TEST_P(PortTest, ClosedOrForeignHandlesAreRefused) {
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(port));
    DCB dcb{};
    EXPECT_FALSE(GetCommState(port, &dcb));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD lines = 0;
    EXPECT_FALSE(GetCommModemStatus(event, &lines));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(event);
}

TEST_P(PortTest, NullBuffersAreRefused) {
    HANDLE port = Open();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    EXPECT_FALSE(ReadFile(port, nullptr, 4, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(WriteFile(port, nullptr, 4, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    CloseHandle(port);
}

INSTANTIATE_TEST_SUITE_P(Backends, PortTest, ::testing::Values(Backend::Sim, Backend::Pty, Backend::Net), BackendName);

}  // namespace
