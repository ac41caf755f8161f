#include "port_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/base/prefix.h"
#include "platform/base/scheduler.h"
#include "platform/serial/posix_serial.h"
#include "platform/serial/sim_serial.h"

namespace sim = platform::sim_serial;

void PortTest::SetUp() {
    platform::clock::UseVirtual();
    if (GetParam() == Backend::Sim) {
        sim::Install();
        sim::SetPresence(PORT, sim::SimPresence::LinesUp);
        return;
    }
    char folder[] = "/tmp/kestra-serial-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    m_strPrefix = folder;
    platform::SetPrefixRoot(m_strPrefix);
    std::string link = m_strPrefix + "/dosdevices/com" + std::to_string(PORT);
    if (GetParam() == Backend::Net) {
        m_pPeer = std::make_unique<CFakeComPortPeer>();
        std::filesystem::create_directories(m_strPrefix + "/dosdevices");
        std::filesystem::create_symlink("rfc2217://127.0.0.1:" + std::to_string(m_pPeer->Port()), link);
        platform::posix_serial::Install();
        return;
    }
    m_nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_nMaster < 0) GTEST_SKIP() << "this machine offers no pseudo-terminals (/dev/ptmx)";
    ASSERT_EQ(grantpt(m_nMaster), 0);
    ASSERT_EQ(unlockpt(m_nMaster), 0);
    std::filesystem::create_symlink(ptsname(m_nMaster), link);
    platform::posix_serial::Install();
}

void PortTest::TearDown() {
    if (GetParam() == Backend::Sim) {
        sim::Uninstall();
    } else {
        platform::posix_serial::Uninstall();
        m_pPeer.reset();
        if (m_nMaster >= 0) close(m_nMaster);
        std::filesystem::remove_all(m_strPrefix);
    }
    platform::clock::UseReal();
}

HANDLE PortTest::Open(DWORD flags) {
    std::string name = "COM" + std::to_string(PORT);
    HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    if (GetParam() != Backend::Net || port == INVALID_HANDLE_VALUE) return port;
    // The peer runs in real time beside the virtual clock: wait (real time) until it has reported its lines.
    DWORD lines = 0;
    for (int i = 0; i < 2000 && lines != LinesPresent(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        GetCommModemStatus(port, &lines);
    }
    EXPECT_EQ(lines, LinesPresent()) << "the peer never reported its modem lines";
    return port;
}

void PortTest::DeviceSends(HANDLE port, const std::string& bytes) {
    COMSTAT before{};
    ASSERT_TRUE(ClearCommError(port, nullptr, &before));
    if (GetParam() == Backend::Sim) {
        ASSERT_TRUE(sim::InjectReceived(PORT, bytes));
        return;
    }
    if (GetParam() == Backend::Net)
        m_pPeer->Send(bytes);
    else
        ASSERT_EQ(write(m_nMaster, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    // The kernel hands pty bytes over on a work queue, and the peer sends from
    // its own thread: wait (real time) until they are there.
    for (int i = 0; i < 2000; ++i) {
        COMSTAT stat{};
        ASSERT_TRUE(ClearCommError(port, nullptr, &stat));
        if (stat.cbInQue >= before.cbInQue + bytes.size()) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    FAIL() << "bytes written on the master never reached the port";
}

std::string PortTest::DeviceReceived(size_t count) {
    if (GetParam() == Backend::Sim) return sim::Written(PORT);
    if (GetParam() == Backend::Net) {
        for (int i = 0; i < 2000 && m_pPeer->Received().size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return m_pPeer->Received();
    }
    std::string got;
    for (int i = 0; i < 2000 && got.size() < count; ++i) {
        char buffer[256];
        ssize_t n = read(m_nMaster, buffer, sizeof buffer);
        if (n > 0) {
            got.append(buffer, static_cast<size_t>(n));
            continue;
        }
        pollfd p{m_nMaster, POLLIN, 0};
        poll(&p, 1, 1);
    }
    return got;
}

DWORD PortTest::LinesPresent() const {
    switch (GetParam()) {
    case Backend::Sim: return sim::LINES_UP;
    case Backend::Net: return CFakeComPortPeer::LINES;
    default: return 0;
    }
}

std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
    const char* const NAMES[] = {"Sim", "Pty", "Net"};
    return NAMES[static_cast<int>(info.param)];
}
