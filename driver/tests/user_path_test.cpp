// The Win32 calls a user-mode program makes on \\.\EZNUSn, through the
// device opener, the I/O manager and zbkusd on the simulated bus.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/eznus.h"
#include "platform/base/devices.h"
#include "platform/base/scheduler.h"
#include "platform/usbsim/io_manager.h"
#include "platform/usbsim/usb_system.h"
#include "platform/wdm/wdm_test.h"

namespace {

class UserPath : public ::testing::Test {
protected:
    void SetUp() override {
        platform::clock::UseVirtual();
        m_nOpener = platform::iomgr::InstallDeviceOpener();
        m_pSystem = new platform::usbsim::CUsbSystem;
        m_pSystem->LoadFunctionDriver(DriverEntry);
        platform::usbsim::SPlugResult result{};
        ASSERT_TRUE(m_pSystem->Plug("A", platform::usbsim::CCutterDevice(), false, &result));
        ASSERT_EQ(result.nStartStatus, STATUS_SUCCESS);
    }
    void TearDown() override {
        delete m_pSystem;
        platform::RemoveDeviceOpener(m_nOpener);
        for (auto& tag : platform::wdm::PoolBalance()) EXPECT_EQ(tag.nBlocks, 0) << platform::wdm::TagText(tag.nTag);
        platform::clock::UseReal();
    }
    platform::usbsim::CUsbSystem* m_pSystem = nullptr;
    int m_nOpener = 0;
};

TEST_F(UserPath, OpensReadsWritesAndControlsThroughWin32Calls) {
    HANDLE h = CreateFileA("\\\\.\\EZNUS0", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileA("\\\\.\\EZNUS0", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);

    DWORD done = 99;
    EXPECT_TRUE(WriteFile(h, "PA;", 3, &done, nullptr));
    EXPECT_EQ(done, 0u);  // the driver reports no bytes for a write

    m_pSystem->QueueInData("A", 3, {'O', 'K', ';'});
    char reply[8] = {};
    EXPECT_TRUE(ReadFile(h, reply, sizeof reply, &done, nullptr));
    EXPECT_EQ(done, 3u);
    EXPECT_EQ(std::memcmp(reply, "OK;", 3), 0);

    ULONG wanted = 4;
    char out[4] = {};
    EXPECT_TRUE(DeviceIoControl(h, IOCTL_EZNUS_READ, &wanted, sizeof wanted, out, sizeof out, &done, nullptr));
    EXPECT_EQ(done, 0u);  // nothing within the poll: success with no bytes
    EXPECT_FALSE(DeviceIoControl(h, 0x00182EF8, nullptr, 0, nullptr, 0, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(CloseHandle(h));

    m_pSystem->Unplug("A");
    EXPECT_EQ(CreateFileA("\\\\.\\EZNUS0", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

}  // namespace
