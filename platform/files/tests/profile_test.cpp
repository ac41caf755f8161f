// What the profile look-ups return, as a table of file contents and questions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cstring>
#include <random>
#include <string>

#include "platform/base/prefix.h"
#include "platform/files/files.h"
#include "platform/files/win_profile.h"

namespace {

namespace fs = std::filesystem;

class Profile : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("kestra-profile-" + std::to_string(std::random_device()()));
        platform::SetPrefixRoot(m_root.string());
        platform::files::InstallDriveFiles();
    }
    void TearDown() override { fs::remove_all(m_root); }
    void Put(const std::string& content, const char* relative = "WINDOWS/Kestra.$$$") {
        std::ofstream(m_root / "drive_c" / relative, std::ios::binary) << content;
    }
    fs::path m_root;
};

TEST_F(Profile, StringLookUpsByNameWithDefaultsAndCutting) {
    struct Case {
        const char* content;  // nullptr: no file
        const char* section;
        const char* key;
        const char* def;
        DWORD size;
        const char* expected;
    } cases[] = {
        {"[KESTRA]\nC1=vinyl 60\n", "KESTRA", "C1", "", 40, "vinyl 60"},
        {"[kestra]\r\nc1 = vinyl \r\n", "KESTRA", "C1", "", 40, "vinyl"},
        {"[Other]\nC1=x\n[KESTRA]\nA1=1\nC1=second\nC1=third\n", "kestra", "c1", "", 40, "second"},
        {"[KESTRA]\nC1=\"quoted \"\n", "KESTRA", "C1", "", 40, "quoted "},
        {"[KESTRA]\nC1=\n", "KESTRA", "C1", "dflt", 40, ""},
        {"[KESTRA]\nC2=x\n", "KESTRA", "C1", "dflt  ", 40, "dflt"},
        {"[Other]\nC1=x\n", "KESTRA", "C1", nullptr, 40, ""},
        {nullptr, "KESTRA", "C1", "none", 40, "none"},
        {"[KESTRA]\nC1=0123456789\n", "KESTRA", "C1", "", 5, "0123"},
        {"[KESTRA]\nC1=x\n", "KESTRA", "C1", "", 1, ""},
        {"C1=x\n[KESTRA]\n", "KESTRA", "C1", "d", 40, "d"},
    };
    for (const Case& c : cases) {
        fs::remove(m_root / "drive_c/WINDOWS/Kestra.$$$");
        if (c.content) Put(c.content);
        char buffer[40];
        std::memset(buffer, '#', sizeof buffer);
        DWORD n = GetPrivateProfileStringA(c.section, c.key, c.def, buffer, c.size, "Kestra.$$$");
        EXPECT_STREQ(buffer, c.expected) << (c.content ? c.content : "no file");
        EXPECT_EQ(n, std::strlen(c.expected)) << (c.content ? c.content : "no file");
    }
    EXPECT_EQ(GetPrivateProfileStringA("KESTRA", "C1", "d", nullptr, 10, "Kestra.$$$"), 0u);
}

TEST_F(Profile, IntegersAreReadAsThePlatformReadsThem) {
    const std::pair<const char*, UINT> cases[] = {
        {"12451", 12451},     {" -5 ", static_cast<UINT>(-5)}, {"+7", 7}, {"12ab", 12}, {"abc", 0},
        {"0x1F", 31},         {"", 99},                        {"4294967297", 1},
    };
    for (auto [value, expected] : cases) {
        Put(std::string("[KESTRA]\nTotal=") + value + "\n");
        EXPECT_EQ(GetPrivateProfileIntA("KESTRA", "Total", 99, "Kestra.$$$"), expected) << value;
    }
    EXPECT_EQ(GetPrivateProfileIntA("KESTRA", "A1", 12390, "Kestra.$$$"), 12390u);
    EXPECT_EQ(GetPrivateProfileIntA("KESTRA", "Total", 3, "Missing.ini"), 3u);
}

TEST_F(Profile, AFileWithADriveIsReadWhereItIsNamed) {
    Put("[S]\nk=root\n", "at_root.ini");
    Put("[S]\nk=windows\n", "WINDOWS/at_root.ini");
    char buffer[16];
    GetPrivateProfileStringA("S", "k", "", buffer, sizeof buffer, "C:\\at_root.ini");
    EXPECT_STREQ(buffer, "root");
    GetPrivateProfileStringA("S", "k", "", buffer, sizeof buffer, "at_root.ini");
    EXPECT_STREQ(buffer, "windows");
}

}  // namespace
