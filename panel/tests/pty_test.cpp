// A pseudo-terminal through the real serial backend has no modem lines:
// opening it as the cutter's port fails the device check cleanly.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "panel/tests/panel_fixture.h"
#include "platform/base/prefix.h"
#include "platform/serial/posix_serial.h"

namespace {

class PtyTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        platform::sim_serial::Uninstall();
        char pattern[] = "/tmp/pty-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_prefix = pattern;
        platform::SetPrefixRoot(m_prefix);
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(m_master, 0);
        ASSERT_EQ(grantpt(m_master), 0);
        ASSERT_EQ(unlockpt(m_master), 0);
        std::filesystem::create_symlink(ptsname(m_master), m_prefix + "/dosdevices/com7");
        platform::posix_serial::Install();
        InitializeCriticalSection(&g_rxLock);
    }
    void TearDown() override {
        DeleteCriticalSection(&g_rxLock);
        platform::posix_serial::Uninstall();
        if (m_master >= 0) close(m_master);
        std::filesystem::remove_all(m_prefix);
        PanelTest::TearDown();
    }
    std::string m_prefix;
    int m_master = -1;
};

TEST_F(PtyTest, ThePortOpensButNoLineComesUpSoMessage1Follows) {
    PortInfo port{};
    port.nPortNumber = 7;
    port.nBaudRate = 9600;
    port.nByteSize = 8;
    port.nHandshake = 2;
    Answer(IDOK);
    DWORD start = GetTickCount();
    EXPECT_EQ(OpenPort(&port), 0);
    EXPECT_EQ(GetTickCount() - start, 300u);
    ASSERT_EQ(m_user.seen.size(), 2u);
    EXPECT_EQ(m_user.seen[0].substr(0, 33), "box 48 \"Can not  connect to devic");
    // Closed again: another open of the same device succeeds.
    HANDLE again = CreateFileA("COM7", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

}  // namespace
