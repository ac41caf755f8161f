// A network serial port whose connection drops: the handle survives, the
// port behaves as a line with nothing attached, connects again by itself
// at most once a second without ever blocking a call, and hands the new
// connection the session's settings. The virtual clock paces the port; the
// fake peer runs in real time beside it, so its effects are waited for in
// real time, bounded.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "fake_comport_peer.h"
#include "loopback_listener.h"
#include "platform/base/prefix.h"
#include "platform/base/scheduler.h"
#include "platform/base/win_base.h"
#include "platform/serial/posix_serial.h"
#include "platform/serial/rfc2217_port.h"
#include "platform/serial/telnet_codec.h"
#include "platform/serial/win_comm.h"

namespace {

namespace fs = std::filesystem;
using namespace platform::telnet;
using Clock = std::chrono::steady_clock;

long RealMsSince(Clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Asks again (real time, up to 2 s) until done() holds; whether it came to hold.
bool Eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 2000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

class NetworkReconnect : public ::testing::Test {
protected:
    void SetUp() override {
        platform::clock::UseVirtual();
        char folder[] = "/tmp/kestra-reconnect-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_strRoot = folder;
        platform::SetPrefixRoot(m_strRoot);
        fs::create_directories(m_strRoot + "/dosdevices");
        fs::create_symlink("rfc2217://127.0.0.1:" + std::to_string(m_peer.Port()), m_strRoot + "/dosdevices/com5");
        platform::posix_serial::Install();
        m_hPort = CreateFileA("COM5", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(m_hPort, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(Eventually([this] { return Lines() == CFakeComPortPeer::LINES; }));
        COMMTIMEOUTS t{0, 0, 100, 0, 50};
        ASSERT_TRUE(SetCommTimeouts(m_hPort, &t));
    }
    void TearDown() override {
        if (m_hPort != INVALID_HANDLE_VALUE) CloseHandle(m_hPort);
        platform::posix_serial::Uninstall();
        fs::remove_all(m_strRoot);
        platform::clock::UseReal();
    }
    DWORD Lines() {
        DWORD lines = 0xDEAD;
        EXPECT_TRUE(GetCommModemStatus(m_hPort, &lines));
        return lines;
    }
    std::string Read() {
        char buffer[64];
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(m_hPort, buffer, sizeof buffer, &got, nullptr));
        return std::string(buffer, got);
    }
    DWORD Write(const std::string& bytes) {
        DWORD sent = 0;
        SetLastError(ERROR_SUCCESS);
        return WriteFile(m_hPort, bytes.data(), static_cast<DWORD>(bytes.size()), &sent, nullptr) ? ERROR_SUCCESS
                                                                                                  : GetLastError();
    }
    // The peer drops the connection and refuses new ones; the port has noticed.
    void DropAndRefuse() {
        m_peer.GoAway();
        ASSERT_TRUE(Eventually([this] { return Lines() == 0; }));
    }

    CFakeComPortPeer m_peer;
    std::string m_strRoot;
    HANDLE m_hPort = INVALID_HANDLE_VALUE;
};

TEST_F(NetworkReconnect, ADroppedConnectionComesBackWithTheSessionsSettings) {
    DCB dcb{};
    ASSERT_TRUE(GetCommState(m_hPort, &dcb));
    dcb.BaudRate = 19200;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(SetCommState(m_hPort, &dcb));
    ASSERT_TRUE(EscapeCommFunction(m_hPort, CLRDTR));
    ASSERT_TRUE(EscapeCommFunction(m_hPort, CLRRTS));
    ASSERT_NO_FATAL_FAILURE(DropAndRefuse());

    // A line with nothing attached: reads wait out their time-out, writes
    // fail at once, line changes are kept for later.
    platform::sched::Millis before = platform::sched::Now();
    EXPECT_EQ(Read(), "");
    EXPECT_GE(platform::sched::Now() - before, 100u);
    EXPECT_EQ(Write("\x1b.R1:"), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_TRUE(EscapeCommFunction(m_hPort, SETDTR));
    EXPECT_TRUE(PurgeComm(m_hPort, PURGE_RXCLEAR | PURGE_TXCLEAR));

    // The peer comes back; within a second of the clock the port is there again.
    m_peer.ComeBack();
    Sleep(1000);
    ASSERT_TRUE(Eventually([this] { return Lines() == CFakeComPortPeer::LINES; }));
    EXPECT_EQ(m_peer.Connections(), 2);
    DCB expected = dcb;
    expected.fDtrControl = DTR_CONTROL_ENABLE;  // raised again while the connection was down
    expected.fRtsControl = RTS_CONTROL_DISABLE;
    std::string session = platform::rfc2217::LineRequests(expected) + ComPortCommand(CPC_SET_LINESTATE_MASK, 0) +
                          ComPortCommand(CPC_SET_MODEMSTATE_MASK, CP_MODEM_LINES);
    Eventually([&] { return m_peer.Commands(1) == session; });
    EXPECT_EQ(m_peer.Commands(1), session);

    EXPECT_EQ(Write("\x1b.R1:"), ERROR_SUCCESS);
    EXPECT_TRUE(Eventually([this] { return m_peer.Received() == "\x1b.R1:"; })) << m_peer.Received();
    m_peer.Send("OR1,1;");
    std::string got;
    EXPECT_TRUE(Eventually([&] { return (got += Read()) == "OR1,1;"; })) << got;
}

// A host that takes no connection (its queue of unanswered ones is full):
// the attempt waits in the system, never in a call.
TEST_F(NetworkReconnect, AnUnansweredReconnectBlocksNoCall) {
    ASSERT_NO_FATAL_FAILURE(DropAndRefuse());
    int port = m_peer.Port();
    int silent = ListenOnLoopback(&port, 0, 0);
    ASSERT_GE(silent, 0);
    int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    connect(filler, reinterpret_cast<sockaddr*>(&addr), sizeof addr);

    for (int second = 0; second < 3; ++second) {
        Sleep(1000);
        Clock::time_point start = Clock::now();
        platform::sched::Millis before = platform::sched::Now();
        EXPECT_EQ(Lines(), 0u);
        EXPECT_EQ(Read(), "");
        EXPECT_EQ(Write("x"), ERROR_DEVICE_NOT_CONNECTED);
        EXPECT_LT(platform::sched::Now() - before, 200u);  // the read's 100 ms and the clock's ticks, no more
        EXPECT_LT(RealMsSince(start), 500);
    }
    close(filler);
    close(silent);
}

TEST_F(NetworkReconnect, AttemptsComeAtMostOnceASecondAndEndWithTheHandle) {
    m_peer.HangUpAtOnce();
    ASSERT_NO_FATAL_FAILURE(DropAndRefuse());
    m_peer.ComeBack();
    int before = m_peer.Connections();
    auto poke = [this] {
        DWORD lines = 0;
        GetCommModemStatus(m_hPort, &lines);
        COMSTAT stat{};
        ClearCommError(m_hPort, nullptr, &stat);
    };
    for (int second = 1; second <= 3; ++second) {
        Sleep(1000);
        EXPECT_TRUE(Eventually([&] {
            poke();
            return m_peer.Connections() == before + second;
        }));
        // However often the port is asked while the clock stands still: no second attempt.
        for (int i = 0; i < 30; ++i) {
            poke();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(m_peer.Connections(), before + second);
    }

    CloseHandle(m_hPort);
    m_hPort = INVALID_HANDLE_VALUE;
    Sleep(3000);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(m_peer.Connections(), before + 3);
}

}  // namespace
