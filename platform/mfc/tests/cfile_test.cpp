#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "platform/base/prefix.h"
#include "platform/files/files.h"
#include "platform/files/win_files.h"
#include "platform/mfc/cfile.h"

namespace {

class CFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = std::filesystem::temp_directory_path() / ("kestra-cfile-" + std::to_string(std::random_device()()));
        platform::SetPrefixRoot(m_root.string());
        platform::files::InstallDriveFiles();
    }
    void TearDown() override {
        platform::files::test::ClearFaults();
        std::filesystem::remove_all(m_root);
    }
    std::filesystem::path m_root;
};

TEST_F(CFileTest, OpenFailuresFillTheException) {
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open("C:\\WINDOWS\\absent.ini", CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(error.m_lOsError, static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    EXPECT_STREQ(error.m_strFileName, "C:\\WINDOWS\\absent.ini");
    EXPECT_FALSE(file.Open("C:\\absent\\x.ini", CFile::modeCreate | CFile::modeWrite, &error));
    EXPECT_EQ(error.m_cause, CFileException::badPath);

    CFile writer("C:\\~PlugPort.Tmp", CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
    try {
        CFile reader("C:\\~PlugPort.Tmp", CFile::modeRead | CFile::shareDenyWrite);
        ADD_FAILURE() << "opened beside an exclusive writer";
    } catch (CFileException* e) {
        EXPECT_EQ(e->m_cause, CFileException::sharingViolation);
        e->Delete();
    }
}

TEST_F(CFileTest, WriteFailureThrowsAndReadStopsAtTheEnd) {
    platform::files::test::FailWrite("C:\\out.tmp", 2, ERROR_DISK_FULL);
    CFile file("C:\\out.tmp", CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
    file.Write("ab", 2);
    try {
        file.Write("cd", 2);
        ADD_FAILURE() << "second write did not throw";
    } catch (CFileException* e) {
        EXPECT_EQ(e->m_cause, CFileException::diskFull);
        EXPECT_STREQ(e->m_strFileName, "C:\\out.tmp");
        e->Delete();
    }
    file.Close();

    file.Open("C:\\OUT.TMP", CFile::modeRead | CFile::shareDenyWrite);
    EXPECT_EQ(file.GetLength(), 2u);
    char buffer[8];
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 2u);
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u);
    file.Close();
    try {
        file.Read(buffer, 1);
        ADD_FAILURE() << "read from a closed file";
    } catch (CFileException* e) {
        EXPECT_EQ(e->m_cause, CFileException::invalidFile);
        e->Delete();
    }
}

}  // namespace
