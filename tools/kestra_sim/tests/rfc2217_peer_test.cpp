// The network serial port against two real peers on loopback: kestra-sim,
// and pyserial's RFC 2217 port manager over a loop port, which we did not
// write. Each is a separate process, stopped when its test ends.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "peer_process.h"
#include "platform/base/prefix.h"
#include "platform/serial/posix_serial.h"
#include "platform/serial/win_comm.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class PeerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/kestra-peer-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_strRoot = folder;
        platform::SetPrefixRoot(m_strRoot + "/prefix");
        fs::create_directories(m_strRoot + "/prefix/dosdevices");
        platform::posix_serial::Install();
    }
    void TearDown() override {
        if (m_hPort != INVALID_HANDLE_VALUE) CloseHandle(m_hPort);
        m_pPeer.reset();
        platform::posix_serial::Uninstall();
        fs::remove_all(m_strRoot);
    }
    // Starts the peer and opens COM1 on it.
    void Connect(const std::vector<std::string>& argv) {
        m_pPeer = std::make_unique<CPeerProcess>(argv, Path("stderr"));
        ASSERT_GT(m_pPeer->Port(), 0) << "peer did not start; it said:\n" << AwaitInFile(Path("stderr"), "");
        fs::create_symlink("rfc2217://127.0.0.1:" + std::to_string(m_pPeer->Port()),
                           m_strRoot + "/prefix/dosdevices/com1");
        m_hPort = CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(m_hPort, INVALID_HANDLE_VALUE);
        COMMTIMEOUTS timeouts{20, 0, 300, 0, 100};
        ASSERT_TRUE(SetCommTimeouts(m_hPort, &timeouts));
    }
    std::string Path(const std::string& name) const { return m_strRoot + "/" + name; }
    void Write(const std::string& bytes) {
        DWORD sent = 0;
        ASSERT_TRUE(WriteFile(m_hPort, bytes.data(), static_cast<DWORD>(bytes.size()), &sent, nullptr));
        ASSERT_EQ(sent, bytes.size());
    }
    std::string Read(DWORD size) {
        std::string buffer(size, '\0');
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(m_hPort, buffer.data(), size, &got, nullptr));
        buffer.resize(got);
        return buffer;
    }
    DWORD Lines() {
        DWORD lines = 0;
        EXPECT_TRUE(GetCommModemStatus(m_hPort, &lines));
        return lines;
    }
    // The modem lines once they equal expected, or as they are after a second.
    DWORD LinesBecome(DWORD expected) {
        auto end = Clock::now() + std::chrono::seconds(1);
        DWORD lines = Lines();
        while (lines != expected && Clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            lines = Lines();
        }
        return lines;
    }
    void SetLine(DWORD baud, BYTE size, BYTE parity, BYTE stop) {
        DCB dcb{};
        ASSERT_TRUE(GetCommState(m_hPort, &dcb));
        dcb.BaudRate = baud;
        dcb.ByteSize = size;
        dcb.Parity = parity;
        dcb.StopBits = stop;
        ASSERT_TRUE(SetCommState(m_hPort, &dcb));
    }

    std::string m_strRoot;
    std::unique_ptr<CPeerProcess> m_pPeer;
    HANDLE m_hPort = INVALID_HANDLE_VALUE;
};

TEST_F(PeerTest, KestraSimHearsTheLineSetupAndAnswersTheCutterCommands) {
    ASSERT_NO_FATAL_FAILURE(Connect({KESTRA_SIM_PATH, "--log", Path("log"), "--svg", Path("cut.svg"), "--force", "120"}));
    EXPECT_EQ(Lines(), MS_CTS_ON | MS_DSR_ON);

    SetLine(19200, 7, EVENPARITY, TWOSTOPBITS);
    EXPECT_TRUE(EscapeCommFunction(m_hPort, CLRDTR));
    EXPECT_TRUE(EscapeCommFunction(m_hPort, CLRRTS));
    EXPECT_TRUE(PurgeComm(m_hPort, PURGE_RXCLEAR | PURGE_TXCLEAR));
    std::string log = AwaitInFile(Path("log"), "purge both");
    for (const char* line : {"COM-port control on", "line 9600 8N1", "DTR on", "RTS on", "line 19200 7E2",
                             "DTR off", "RTS off", "purge both"})
        EXPECT_NE(log.find(line), std::string::npos) << line << " not in\n" << log;

    SetLine(9600, 8, NOPARITY, ONESTOPBIT);
    Write("\x1b.R1:");
    EXPECT_EQ(Read(64), "OR1,1,120,250,2,1,0,1;");
    EXPECT_NE(AwaitInFile(Path("log"), "ESC.R1:").find("reply OR1,1,120"), std::string::npos);

    Write("PU0,0;PD400,0,400,400;PU;");
    std::string svg = AwaitInFile(Path("cut.svg"), "polyline");
    EXPECT_NE(svg.find("<polyline"), std::string::npos) << svg;
    EXPECT_EQ(m_pPeer->Stop(), 0);  // SIGTERM ends it cleanly
}

// As the panel uses its port: a reader thread waits for replies while the
// main thread writes commands and looks at the modem lines.
TEST_F(PeerTest, KestraSimAnswersAReaderThreadWhileCommandsAreWritten) {
    ASSERT_NO_FATAL_FAILURE(Connect({KESTRA_SIM_PATH, "--log", Path("log")}));
    struct Shared {
        HANDLE hPort;
        std::string strGot;
    } shared{m_hPort, {}};
    constexpr int ROUNDS = 5;
    const std::string reply = "OR3,12390,13112,0;";
    HANDLE reader = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto& s = *static_cast<Shared*>(p);
            char buffer[64];
            for (int empty = 0; empty < 3 && s.strGot.size() < ROUNDS * 18;) {
                DWORD got = 0;
                if (!ReadFile(s.hPort, buffer, sizeof buffer, &got, nullptr)) break;
                s.strGot.append(buffer, got);
                empty = got ? 0 : empty + 1;
            }
            return 0;
        },
        &shared, 0, nullptr);
    ASSERT_NE(reader, nullptr);
    for (int i = 0; i < ROUNDS; ++i) {
        Write("\x1b.R3:");
        EXPECT_EQ(Lines(), MS_CTS_ON | MS_DSR_ON);
    }
    EXPECT_EQ(WaitForSingleObject(reader, 3000), WAIT_OBJECT_0);
    CloseHandle(reader);
    std::string expected;
    for (int i = 0; i < ROUNDS; ++i) expected += reply;
    EXPECT_EQ(shared.strGot, expected);
}

TEST_F(PeerTest, KestraSimGarblesEveryNthReplyAndLogsIt) {
    ASSERT_NO_FATAL_FAILURE(Connect({KESTRA_SIM_PATH, "--log", Path("log"), "--garble", "2", "--seed", "5"}));
    const std::string reply = "OR3,12390,13112,0;";
    Write("\x1b.R3:");
    EXPECT_EQ(Read(64), reply);
    Write("\x1b.R3:");
    std::string garbled = Read(64);
    ASSERT_EQ(garbled.size(), reply.size()) << garbled;  // whatever the byte became, the port carried it as one
    int differing = 0;
    for (size_t i = 0; i < reply.size(); ++i) differing += garbled[i] != reply[i];
    EXPECT_EQ(differing, 1) << garbled;
    EXPECT_NE(AwaitInFile(Path("log"), "garbled reply 2: byte").find("garbled reply 2: byte"), std::string::npos);
}

TEST_F(PeerTest, KestraSimSwitchedOffHasNoLinesAndNoAnswer) {
    ASSERT_NO_FATAL_FAILURE(Connect({KESTRA_SIM_PATH, "--off", "--log", Path("log")}));
    EXPECT_EQ(Lines(), 0u);
    Write("\x1b.R1:");
    EXPECT_EQ(Read(64), "");
}

TEST_F(PeerTest, PyserialLoopPortCarriesDataModemLinesDtrAndPurge) {
    ASSERT_NO_FATAL_FAILURE(Connect({DEBIAN_PYTHON3, LOOP_SERVER_PATH}));
    // The loop port shows our RTS as CTS, our DTR as DSR, and carrier always.
    EXPECT_EQ(LinesBecome(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);

    std::string data = "ESC\x1b.R1:\xff\xff\x00 binary\r\n";
    data.push_back('\0');
    Write(data);
    EXPECT_EQ(Read(static_cast<DWORD>(data.size())), data);

    EXPECT_TRUE(EscapeCommFunction(m_hPort, CLRDTR));
    EXPECT_EQ(LinesBecome(MS_CTS_ON | MS_RLSD_ON), MS_CTS_ON | MS_RLSD_ON);
    EXPECT_TRUE(EscapeCommFunction(m_hPort, SETDTR));
    EXPECT_EQ(LinesBecome(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);

    SetLine(19200, 7, ODDPARITY, ONESTOPBIT);
    EXPECT_TRUE(PurgeComm(m_hPort, PURGE_RXCLEAR | PURGE_TXCLEAR));
    std::string log = AwaitInFile(Path("stderr"), "purge both");
    for (const char* line : {"client accepts RFC 2217", "changed DTR to inactive", "changed DTR to active",
                             "set baud rate: 19200", "set data size: 7", "purge both"})
        EXPECT_NE(log.find(line), std::string::npos) << line << " not in\n" << log;
}

}  // namespace
