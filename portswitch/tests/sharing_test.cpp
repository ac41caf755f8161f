#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>

#include "platform/base/devices.h"
#include "platform/base/prefix.h"
#include "platform/files/files.h"
#include "platform/spool/test_spooler.h"
#include "portswitch/unplug_zbk_usb.h"

namespace {

// Tries to read the temporary file while UnPlug has it open, as another
// program might between two printer changes.
class CPeekingSpooler : public platform::spool::CTestSpooler {
public:
    BOOL Set(const std::string& strPrinterName, const platform::spool::PrinterRecord& record) override {
        HANDLE h = CreateFileA("C:\\~PlugPort.Tmp", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        else m_aErrors.push_back(GetLastError());
        return CTestSpooler::Set(strPrinterName, record);
    }
    std::vector<DWORD> m_aErrors;
};

TEST(PlugFileSharing, NobodyElseOpensTheFileWhileUnPlugWritesIt) {
    auto root = std::filesystem::temp_directory_path() / ("kestra-sharing-" + std::to_string(std::random_device()()));
    platform::SetPrefixRoot(root.string());
    platform::files::InstallDriveFiles();
    auto spooler = std::make_shared<CPeekingSpooler>();
    spooler->AddPrinter("Cutter 1", "ZBKUSB001");
    spooler->AddPrinter("Cutter 2", "ZBKUSB002");
    platform::spool::UseSpooler(spooler);
    EXPECT_EQ(UnPlug(), 1);
    EXPECT_EQ(spooler->m_aErrors, (std::vector<DWORD>{ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION}));
    platform::spool::UseSpooler(nullptr);
    std::filesystem::remove_all(root);
}

}  // namespace
