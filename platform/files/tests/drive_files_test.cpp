#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/base/devices.h"
#include "platform/base/prefix.h"
#include "platform/files/files.h"
#include "platform/files/win_files.h"

namespace {

namespace fs = std::filesystem;

class DriveFiles : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("kestra-files-" + std::to_string(std::random_device()()));
        platform::SetPrefixRoot(m_root.string());
        platform::files::InstallDriveFiles();
        Put("WINDOWS/Kestra.$$$", "[KESTRA]\n");
    }
    void TearDown() override {
        platform::files::SetClosedWrittenFileObserver(nullptr);
        platform::files::test::ClearFaults();
        platform::test::SetCallFaultHook(nullptr);
        fs::remove_all(m_root);
    }
    void Put(const std::string& relative, const std::string& content) {
        std::ofstream(m_root / "drive_c" / relative, std::ios::binary) << content;
    }
    std::string Get(const std::string& relative) {
        std::ifstream in(m_root / "drive_c" / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string Host(const std::string& relative) { return (m_root / "drive_c" / relative).string(); }

    fs::path m_root;
};

HANDLE Open(const char* name, DWORD access, DWORD share, DWORD creation) {
    return CreateFileA(name, access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST_F(DriveFiles, WindowsPathsMapIntoTheDriveFolder) {
    struct Case {
        const char* windowsPath;
        std::string expectedHost;  // empty: refused
    } cases[] = {
        {"C:\\~PlugPort.Tmp", Host("~PlugPort.Tmp")},
        {"c:/windows/system32/", Host("WINDOWS/SYSTEM32")},
        {"C:\\WINDOWS\\KESTRA.$$$", Host("WINDOWS/Kestra.$$$")},  // existing entry found whatever the case
        {"C:\\Windows\\New.ini", Host("WINDOWS/New.ini")},         // a new name keeps the caller's case
        {"C:\\\\WINDOWS\\.\\x", Host("WINDOWS/x")},
        {"C:\\..\\..\\WINDOWS\\..\\y", Host("y")},
        {"C:\\", (m_root / "drive_c").string()},
        {"C:\\Missing\\f", ""},
        {"C:\\WINDOWS\\Kestra.$$$\\f", ""},
        {"C:\\bad|name", ""},
        {"D:\\f", ""},
        {"C:f", ""},
        {"COM1", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::files::HostPath(c.windowsPath), fs::path(c.expectedHost).string()) << c.windowsPath;
}

TEST_F(DriveFiles, CreationDispositionsAndErrors) {
    struct Case {
        const char* name;
        DWORD access;
        DWORD creation;
        DWORD expectedError;  // ERROR_SUCCESS or ERROR_ALREADY_EXISTS when opened
        const char* expectedContent;
    } cases[] = {
        {"C:\\WINDOWS\\Kestra.$$$", GENERIC_READ, CREATE_NEW, ERROR_FILE_EXISTS, "[KESTRA]\n"},
        {"C:\\WINDOWS\\Kestra.$$$", GENERIC_READ, OPEN_ALWAYS, ERROR_ALREADY_EXISTS, "[KESTRA]\n"},
        {"C:\\WINDOWS\\Kestra.$$$", GENERIC_READ, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER, "[KESTRA]\n"},
        {"C:\\WINDOWS\\Kestra.$$$", GENERIC_WRITE, TRUNCATE_EXISTING, ERROR_SUCCESS, ""},
        {"C:\\WINDOWS\\Kestra.$$$", GENERIC_WRITE, CREATE_ALWAYS, ERROR_ALREADY_EXISTS, ""},
        {"C:\\WINDOWS\\Kestra.$$$", GENERIC_WRITE, 0, ERROR_INVALID_PARAMETER, nullptr},
        {"C:\\absent.txt", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND, nullptr},
        {"C:\\absent\\f.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND, nullptr},
        {"C:\\WINDOWS", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED, nullptr},
        {"C:\\a?.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_INVALID_NAME, nullptr},
    };
    for (const auto& c : cases) {
        Put("WINDOWS/Kestra.$$$", "[KESTRA]\n");
        HANDLE h = Open(c.name, c.access, 0, c.creation);
        EXPECT_EQ(GetLastError(), c.expectedError) << c.name << " " << c.creation;
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.expectedError == ERROR_SUCCESS || c.expectedError == ERROR_ALREADY_EXISTS);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        if (c.expectedContent) {
            EXPECT_EQ(Get("WINDOWS/Kestra.$$$"), c.expectedContent) << c.name << " " << c.creation;
        }
    }
}

TEST_F(DriveFiles, SharingModesAreHonouredBetweenHandles) {
    constexpr DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE;
    struct Case {
        DWORD firstAccess, firstShare, secondAccess, secondShare;
        bool secondOpens;
    } cases[] = {
        {W, 0, R, SR | SW, false},       // exclusive writer
        {R, 0, R, SR | SW, false},       // exclusive reader
        {R, SR, R, SR, true},            // deny-write readers together
        {R, SR, W, SR | SW, false},      // deny-write keeps writers out
        {R, SR, R, 0, false},            // an exclusive open cannot join a reader
        {W, SW, W, SW, true},            // deny-read writers together
        {W, SW, R, SR | SW, false},      // deny-read keeps readers out
        {R | W, SR | SW, R | W, SR | SW, true},
        {0, 0, R | W, 0, true},          // an open without access holds nothing
    };
    for (const auto& c : cases) {
        HANDLE first = Open("C:\\WINDOWS\\Kestra.$$$", c.firstAccess, c.firstShare, OPEN_EXISTING);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        // CREATE_ALWAYS shows that a refused open leaves the content alone.
        HANDLE second = Open("c:\\windows\\kestra.$$$", c.secondAccess, c.secondShare, CREATE_ALWAYS);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.secondOpens) << c.firstAccess << "/" << c.firstShare << " then "
                                                                 << c.secondAccess << "/" << c.secondShare;
        if (second != INVALID_HANDLE_VALUE) {
            CloseHandle(second);
        } else {
            EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
        }
        EXPECT_EQ(Get("WINDOWS/Kestra.$$$"), c.secondOpens ? "" : "[KESTRA]\n");
        CloseHandle(first);
        Put("WINDOWS/Kestra.$$$", "[KESTRA]\n");
    }
}

TEST_F(DriveFiles, DeleteWaitsForHandlesThatDoNotShareDeletion) {
    HANDLE h = Open("C:\\WINDOWS\\Kestra.$$$", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_FALSE(DeleteFileA("C:\\WINDOWS\\KESTRA.$$$"));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(h);
    EXPECT_TRUE(DeleteFileA("C:\\WINDOWS\\KESTRA.$$$"));
    EXPECT_FALSE(DeleteFileA("C:\\WINDOWS\\KESTRA.$$$"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteFileA("C:\\NoFolder\\x"));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(DeleteFileA("C:\\WINDOWS"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(DriveFiles, ReadsWritesSizesAndTheClosedFileObserver) {
    std::vector<std::string> seen;
    platform::files::SetClosedWrittenFileObserver(
        [&](const std::string& path, const std::string& content) { seen.push_back(path + "=" + content); });
    HANDLE h = Open("c:/windows/out.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
    DWORD done = 0;
    char byte = 0;
    EXPECT_FALSE(ReadFile(h, &byte, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(WriteFile(h, "ab,", 3, &done, nullptr));
    EXPECT_TRUE(WriteFile(h, "c", 1, &done, nullptr));
    EXPECT_EQ(GetFileSize(h, nullptr), 4u);
    CloseHandle(h);
    h = Open("C:\\WINDOWS\\OUT.TXT", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    char buffer[8] = {};
    EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "ab,c");
    EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(done, 0u);
    CloseHandle(h);  // read only: not reported
    EXPECT_EQ(seen, std::vector<std::string>{"C:\\windows\\out.txt=ab,c"});
    EXPECT_EQ(GetFileSize(nullptr, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(DriveFiles, FaultsStrikeTheNamedFileOnce) {
    platform::files::test::FailOpen("C:\\~PLUGPORT.TMP", 1, ERROR_ACCESS_DENIED);
    platform::files::test::FailWrite("c:/~plugport.tmp", 2, ERROR_DISK_FULL);
    EXPECT_EQ(Open("C:\\~PlugPort.Tmp", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    HANDLE other = Open("C:\\other.tmp", GENERIC_WRITE, 0, CREATE_ALWAYS);
    HANDLE h = Open("C:\\~PlugPort.Tmp", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(other, "x", 1, &done, nullptr));
    EXPECT_TRUE(WriteFile(h, "a", 1, &done, nullptr));
    EXPECT_FALSE(WriteFile(h, "b", 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    EXPECT_EQ(done, 0u);
    EXPECT_TRUE(WriteFile(h, "c", 1, &done, nullptr));
    CloseHandle(h);
    CloseHandle(other);
    EXPECT_EQ(Get("~PlugPort.Tmp"), "ac");
}

// The call fault hook fails drive calls by name: a failed close still
// releases the handle, a failed delete keeps the file.
DWORD FailSizeCloseAndDelete(const char* pszCall, const char* pszTarget) {
    std::string call = pszCall;
    bool bOurs = std::string(pszTarget) == "C:\\HOOKED.TMP";
    return bOurs && (call == "GetFileSize" || call == "CloseHandle" || call == "DeleteFileA") ? ERROR_GEN_FAILURE
                                                                                              : ERROR_SUCCESS;
}

TEST_F(DriveFiles, CallFaultHookFailsSizeCloseAndDelete) {
    platform::test::SetCallFaultHook(FailSizeCloseAndDelete);
    HANDLE h = Open("C:\\hooked.tmp", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::files::test::OpenFileCount(), 1u);
    EXPECT_EQ(GetFileSize(h, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_EQ(platform::files::test::OpenFileCount(), 0u);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(DeleteFileA("C:\\hooked.tmp"));
    EXPECT_TRUE(fs::exists(Host("hooked.tmp")));
    platform::test::SetCallFaultHook(nullptr);
    EXPECT_TRUE(DeleteFileA("C:\\hooked.tmp"));
}

TEST_F(DriveFiles, SystemFoldersFollowTheBufferContract) {
    char buffer[32];
    std::fill(std::begin(buffer), std::end(buffer), '#');
    EXPECT_EQ(GetSystemDirectoryA(nullptr, 0), 20u);
    EXPECT_EQ(GetSystemDirectoryA(buffer, 19), 20u);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(GetSystemDirectoryA(buffer, 20), 19u);
    EXPECT_STREQ(buffer, "C:\\WINDOWS\\SYSTEM32");
    EXPECT_EQ(GetWindowsDirectoryA(buffer, 11), 10u);
    EXPECT_STREQ(buffer, "C:\\WINDOWS");
}

}  // namespace
