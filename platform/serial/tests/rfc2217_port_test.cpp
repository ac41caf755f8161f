// A network serial port against peers that misbehave: garbage, a connection
// closed mid-read, a peer that stops answering, nobody listening. Real
// sockets on loopback, so the real clock with short time-outs.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "loopback_listener.h"
#include "platform/base/prefix.h"
#include "platform/serial/posix_serial.h"
#include "platform/serial/telnet_codec.h"
#include "platform/serial/win_comm.h"
#include "platform/serial/win_ports.h"

namespace {

namespace fs = std::filesystem;
using namespace platform::telnet;
using Clock = std::chrono::steady_clock;

std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}

void SendAll(int fd, const std::string& bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0) return;
        at += static_cast<size_t>(n);
    }
}

// Waits up to ms for the peer to close; what it sent is thrown away.
void DrainUntilClosed(int fd, int ms) {
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    char buffer[4096];
    while (Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10) > 0 && recv(fd, buffer, sizeof buffer, 0) <= 0) return;
    }
}

// A loopback listener whose thread serves each connection with the script.
// The thread is bounded by the scripts' own time limits and joined on destruction.
class CFakePeer {
public:
    using Script = std::function<void(int fd, int nConnection)>;
    // nReceiveBuffer: the size of each connection's receive buffer (0: the system's, which grows).
    CFakePeer(int nConnections, Script script, int nReceiveBuffer = 0) {
        m_fd = ListenOnLoopback(&m_nPort, nReceiveBuffer);
        m_thread = std::thread([this, nConnections, script] {
            for (int i = 0; i < nConnections; ++i) {
                pollfd p{m_fd, POLLIN, 0};
                if (poll(&p, 1, 2000) <= 0) return;
                int fd = accept(m_fd, nullptr, nullptr);
                if (fd < 0) return;
                script(fd, i);
                close(fd);
            }
        });
    }
    ~CFakePeer() {
        m_thread.join();
        close(m_fd);
    }
    int Port() const { return m_nPort; }

private:
    int m_fd = -1;
    int m_nPort = 0;
    std::thread m_thread;
};

class NetworkPort : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/kestra-rfc2217-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_strRoot = folder;
        platform::SetPrefixRoot(m_strRoot);
        fs::create_directories(m_strRoot + "/dosdevices");
        platform::posix_serial::Install();
    }
    void TearDown() override {
        platform::posix_serial::Uninstall();
        fs::remove_all(m_strRoot);
    }
    HANDLE OpenOn(int port) {
        fs::create_symlink("rfc2217://127.0.0.1:" + std::to_string(port), m_strRoot + "/dosdevices/com5");
        return Reopen();
    }
    static HANDLE Reopen() {
        return CreateFileA("COM5", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    static void SetReadTimeout(HANDLE h, DWORD ms) {
        COMMTIMEOUTS t{0, 0, ms, 0, 50};
        ASSERT_TRUE(SetCommTimeouts(h, &t));
    }
    // Reads up to size bytes; *ms gets how long it took.
    static std::string Read(HANDLE h, DWORD size, long* ms) {
        std::string buffer(size, '\0');
        DWORD got = 0;
        auto start = Clock::now();
        EXPECT_TRUE(ReadFile(h, buffer.data(), size, &got, nullptr));
        *ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        buffer.resize(got);
        return buffer;
    }
    static DWORD Lines(HANDLE h) {
        DWORD lines = 0xDEAD;
        EXPECT_TRUE(GetCommModemStatus(h, &lines));
        return lines;
    }

    std::string m_strRoot;
};

constexpr long SLACK_MS = 400;  // sanitizer builds are slow; a hang would take far longer

TEST_F(NetworkPort, GarbageFromThePeerIsSortedOutAndOnlyItsDataIsRead) {
    CFakePeer peer(1, [](int fd, int) {
        std::string junk = B({IAC, SB, 44, 107}) + std::string(500, '\x30') + B({IAC, SE});  // overlong
        junk += B({IAC, 7, IAC, WILL, 99, IAC, DO, 77, IAC, SB, 44, 107, IAC, 'q', IAC, IAC, IAC, SE, 'O', 'K'});
        junk += B({IAC, SB, 44, 107, IAC});  // never finished
        SendAll(fd, junk);
        DrainUntilClosed(fd, 2000);
    });
    HANDLE h = OpenOn(peer.Port());
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SetReadTimeout(h, 50);
    long ms = 0;
    EXPECT_EQ(Read(h, 16, &ms), B({255, 'O', 'K'}));  // IAC 'q' is an unknown command
    EXPECT_EQ(Lines(h), 0u);  // no well-formed notification came
    DCB dcb{};
    ASSERT_TRUE(GetCommState(h, &dcb));
    EXPECT_TRUE(SetCommState(h, &dcb));
    DWORD sent = 0;
    EXPECT_TRUE(WriteFile(h, "\x1b.R1:", 5, &sent, nullptr));
    EXPECT_EQ(sent, 5u);
    CloseHandle(h);
}

// What follows the loss (nothing attached, reconnecting) is rfc2217_reconnect_test's.
TEST_F(NetworkPort, APeerClosingMidReadLeavesWhatCameAndThenALineWithNothingAttached) {
    CFakePeer peer(1, [](int fd, int) {
        SendAll(fd, B({IAC, WILL, 44, IAC, DO, 44, IAC, SB, 44, 107, 0x30, IAC, SE}));
        SendAll(fd, "OR");
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    });  // closes before the reply is complete
    HANDLE h = OpenOn(peer.Port());
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Lines(h), MS_CTS_ON | MS_DSR_ON);
    SetReadTimeout(h, 150);
    long ms = 0;
    EXPECT_EQ(Read(h, 4, &ms), "OR");  // what came before the close is kept
    EXPECT_LT(ms, 150 + SLACK_MS);
    EXPECT_EQ(Lines(h), 0u);
    SetReadTimeout(h, 30);
    EXPECT_EQ(Read(h, 4, &ms), "");
    EXPECT_GE(ms, 25);  // waits out its time-out rather than spinning
    EXPECT_LT(ms, 30 + SLACK_MS);
    CloseHandle(h);
}

TEST_F(NetworkPort, APeerThatStopsAnsweringHangsNeitherReadsNorWrites) {
    std::atomic<bool> done{false};
    CFakePeer peer(1, [&done](int, int) {
        // Reads nothing, sends nothing, until the test is over.
        auto end = Clock::now() + std::chrono::seconds(3);
        while (!done && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }, 65536);
    auto start = Clock::now();
    HANDLE h = OpenOn(peer.Port());
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 300 + SLACK_MS);
    EXPECT_EQ(Lines(h), 0u);
    SetReadTimeout(h, 40);
    long ms = 0;
    EXPECT_EQ(Read(h, 4, &ms), "");
    EXPECT_LT(ms, 40 + SLACK_MS);

    // More than the socket can take: the write ends at its time-out with what went.
    std::string flood(6 << 20, '\xff');
    DWORD sent = 0;
    start = Clock::now();
    EXPECT_TRUE(WriteFile(h, flood.data(), static_cast<DWORD>(flood.size()), &sent, nullptr));
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 50 + SLACK_MS);
    EXPECT_GT(sent, 0u);
    EXPECT_LT(sent, flood.size());
    COMSTAT stat{};
    DWORD errors = 0;
    ASSERT_TRUE(ClearCommError(h, &errors, &stat));
    EXPECT_LE(stat.cbOutQue, 1u);  // the unsent rest was taken back (but half an IAC pair must follow)
    CloseHandle(h);
    done = true;
}

TEST_F(NetworkPort, AnOpenThatCannotConnectSaysWhyInOneLine) {
    int port;
    {
        CFakePeer peer(0, {});
        port = peer.Port();
    }  // closed again: connecting is refused
    std::string link = "rfc2217://127.0.0.1:" + std::to_string(port);
    ::testing::internal::CaptureStderr();
    HANDLE h = OpenOn(port);
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(said, "COM5: connection refused by 127.0.0.1 port " + std::to_string(port) + " (named by " + link +
                        "): is the network serial server running?\n");

    CFakePeer slammer(1, [](int, int) {});  // accepts and hangs up at once, as a busy server does
    fs::remove(m_strRoot + "/dosdevices/com5");
    ::testing::internal::CaptureStderr();
    h = OpenOn(slammer.Port());
    said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_NE(said.find("COM5: 127.0.0.1 port " + std::to_string(slammer.Port()) + " closed the connection at once"),
              std::string::npos)
        << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
}

TEST_F(NetworkPort, NetworkPortsAreListed) {
    fs::create_symlink("rfc2217://127.0.0.1:4001", m_strRoot + "/dosdevices/com7");
    fs::create_symlink("/nonexistent/ttyUSB9", m_strRoot + "/dosdevices/com2");
    DWORD needed = 0, returned = 0;
    EnumPortsA(nullptr, 1, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(EnumPortsA(nullptr, 1, buffer.data(), needed, &needed, &returned));
    ASSERT_EQ(returned, 1u);
    EXPECT_STREQ(reinterpret_cast<PORT_INFO_1*>(buffer.data())[0].pName, "COM7:");
}

}  // namespace
