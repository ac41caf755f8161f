#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/base/win_base.h"
#include "platform/spool/local_spooler.h"
#include "platform/spool/test_spooler.h"
#include "platform/spool/winspool.h"

namespace {

using platform::spool::CTestSpooler;
using platform::spool::PrinterRecord;

std::string Text(LPCSTR psz) { return psz ? psz : "(null)"; }

// Enumerates with the two-call protocol into a buffer with guard bytes behind it.
std::vector<BYTE> Enumerate(DWORD* pCount) {
    DWORD needed = 0;
    EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, pCount));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<BYTE> buffer(needed + 64, 0xEE);
    DWORD again = 0;
    EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed - 1, &again, pCount));
    EXPECT_EQ(again, needed);
    EXPECT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL, const_cast<LPSTR>(""), 2, buffer.data(), needed, &again, pCount));
    for (std::size_t i = needed; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xEE) << "written past the size needed";
    buffer.resize(needed);
    return buffer;
}

class Spooler : public ::testing::Test {
protected:
    void SetUp() override {
        m_spooler = std::make_shared<CTestSpooler>();
        for (const char* name : {"Office", "Cutter A", "Cutter B"}) m_spooler->AddPrinter(name, std::string("ZBKUSB_") + name);
        platform::spool::UseSpooler(m_spooler);
    }
    void TearDown() override { platform::spool::UseSpooler(nullptr); }
    std::shared_ptr<CTestSpooler> m_spooler;
};

TEST_F(Spooler, EnumerationPacksEveryFieldIntoTheBuffer) {
    DWORD count = 0;
    std::vector<BYTE> buffer = Enumerate(&count);
    ASSERT_EQ(count, 3u);
    const BYTE* begin = buffer.data();
    const BYTE* end = begin + buffer.size();
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        const PrinterRecord& expected = m_spooler->Printers()[i];
        EXPECT_EQ(info[i].pServerName, nullptr);
        for (LPSTR p : {info[i].pPrinterName, info[i].pShareName, info[i].pPortName, info[i].pDriverName,
                        info[i].pComment, info[i].pLocation, info[i].pSepFile, info[i].pPrintProcessor,
                        info[i].pDatatype, info[i].pParameters}) {
            ASSERT_TRUE(reinterpret_cast<BYTE*>(p) >= begin && reinterpret_cast<BYTE*>(p) < end);
        }
        EXPECT_EQ(Text(info[i].pPrinterName), expected.strPrinterName);
        EXPECT_EQ(Text(info[i].pPortName), expected.strPortName);
        EXPECT_EQ(Text(info[i].pComment), expected.strComment);
        EXPECT_EQ(Text(info[i].pSepFile), expected.strSepFile);
        EXPECT_EQ(info[i].Priority, expected.nPriority);
        EXPECT_EQ(info[i].AveragePPM, expected.nAveragePPM);
        if (expected.aDevMode.empty()) {
            EXPECT_EQ(info[i].pDevMode, nullptr);
        } else {
            ASSERT_NE(info[i].pDevMode, nullptr);
            EXPECT_EQ(reinterpret_cast<UINT_PTR>(info[i].pDevMode) % alignof(DEVMODEA), 0u);
            const BYTE* dm = reinterpret_cast<const BYTE*>(info[i].pDevMode);
            ASSERT_LE(dm + expected.aDevMode.size(), end);
            EXPECT_EQ(std::vector<BYTE>(dm, dm + expected.aDevMode.size()), expected.aDevMode);
        }
    }
}

TEST_F(Spooler, EnumerationRefusesWhatItCannotServe) {
    DWORD needed = 1, count = 1;
    EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 1, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_LEVEL);
    EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, const_cast<LPSTR>("\\\\other"), 2, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, nullptr, &count));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    platform::spool::UseSpooler(std::make_shared<CTestSpooler>());
    EXPECT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(count, 0u);
    platform::spool::UseSpooler(nullptr);
    EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
}

TEST_F(Spooler, SetPrinterWritesTheRecordBackAndTheDoubleSeesEveryChange) {
    DWORD count = 0;
    std::vector<BYTE> buffer = Enumerate(&count);
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(buffer.data());
    HANDLE printer = nullptr;
    EXPECT_FALSE(OpenPrinterA(const_cast<LPSTR>("Nobody"), &printer, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PRINTER_NAME);

    ASSERT_TRUE(OpenPrinterA(info[1].pPrinterName, &printer, nullptr));
    EXPECT_FALSE(SetPrinterA(printer, 2, reinterpret_cast<LPBYTE>(&info[1]), 0));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);  // opened for use only
    EXPECT_TRUE(ClosePrinter(printer));
    EXPECT_FALSE(ClosePrinter(printer));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>("CUTTER A"), &printer, &defaults));
    EXPECT_FALSE(SetPrinterA(printer, 1, reinterpret_cast<LPBYTE>(&info[1]), 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_LEVEL);
    info[1].pPortName = const_cast<LPSTR>("LPT1:");
    EXPECT_TRUE(SetPrinterA(printer, 2, reinterpret_cast<LPBYTE>(&info[1]), 0));
    EXPECT_TRUE(m_spooler->FieldChanges().empty());
    EXPECT_EQ(m_spooler->Printers()[1].strPortName, "LPT1:");
    info[1].pComment = const_cast<LPSTR>("changed");
    info[1].pDevMode->dmCopies = 9;
    info[1].cJobs = 77;
    EXPECT_TRUE(SetPrinterA(printer, 2, reinterpret_cast<LPBYTE>(&info[1]), 0));
    EXPECT_EQ(m_spooler->FieldChanges(),
              (std::vector<std::string>{"Cutter A: pComment", "Cutter A: pDevMode", "Cutter A: cJobs"}));
    ClosePrinter(printer);

    std::vector<std::string> calls;
    for (const auto& call : m_spooler->Calls()) calls.push_back(call.strFunction + " " + call.strPrinter + " " + call.strPort);
    EXPECT_EQ(calls, (std::vector<std::string>{"EnumPrintersA  ", "EnumPrintersA  ", "EnumPrintersA  ",
                                               "OpenPrinterA Nobody ", "OpenPrinterA Cutter A ", "ClosePrinter Cutter A ",
                                               "OpenPrinterA CUTTER A ", "SetPrinterA CUTTER A LPT1:",
                                               "SetPrinterA CUTTER A LPT1:", "ClosePrinter CUTTER A "}));
}

class LocalSpooler : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() / ("kestra-spool-" + std::to_string(std::random_device()()));
        m_file = (m_dir / "printers.txt").string();
    }
    void TearDown() override {
        platform::spool::UseSpooler(nullptr);
        std::filesystem::remove_all(m_dir);
    }
    std::filesystem::path m_dir;
    std::string m_file;
};

TEST_F(LocalSpooler, ChangesLastInTheFileAndEveryFieldSurvives) {
    CTestSpooler source;
    source.AddPrinter("Plain", "LPT2:");
    source.AddPrinter("Odd \"name\"\twith\nbytes \x01\xFF", "ZBKUSB001,ZBKUSB002");
    std::filesystem::create_directories(m_dir);
    std::ofstream(m_file) << platform::spool::FormatPrinters(source.Printers());

    platform::spool::UseSpooler(std::make_shared<platform::spool::CLocalSpooler>(m_file));
    DWORD count = 0;
    std::vector<BYTE> buffer = Enumerate(&count);
    ASSERT_EQ(count, 2u);
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(buffer.data());
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterA(info[1].pPrinterName, &printer, &defaults));
    info[1].pPortName = const_cast<LPSTR>("LPT1:");
    EXPECT_TRUE(SetPrinterA(printer, 2, reinterpret_cast<LPBYTE>(&info[1]), 0));
    ClosePrinter(printer);

    std::vector<PrinterRecord> expected = source.Printers();
    expected[1].strPortName = "LPT1:";
    std::vector<PrinterRecord> reread;
    EXPECT_TRUE(platform::spool::CLocalSpooler(m_file).Enumerate(&reread));
    EXPECT_TRUE(reread == expected);
}

TEST_F(LocalSpooler, RefusesAFileItCannotRead) {
    platform::spool::CLocalSpooler spooler(m_file);
    std::vector<PrinterRecord> printers;
    EXPECT_TRUE(spooler.Enumerate(&printers));  // no file yet: no printers
    EXPECT_TRUE(printers.empty());
    for (const char* text : {"port \"LPT1:\"\n", "printer \"P\"\ncolour \"red\"\n", "printer \"P\"\njobs -1\n",
                             "printer \"P\"\ndevmode \"abc\"\n", "printer \"P\nport \"x\"\n"}) {
        std::filesystem::create_directories(m_dir);
        std::ofstream(m_file, std::ios::trunc) << text;
        EXPECT_FALSE(spooler.Enumerate(&printers)) << text;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
    }
}

}  // namespace
