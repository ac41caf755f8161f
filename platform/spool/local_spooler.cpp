#include "platform/spool/local_spooler.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/base/prefix.h"
#include "platform/base/win_base.h"
#include "platform/files/win_files.h"
#include "platform/spool/winspool.h"
#include "platform/text/quoted_words.h"

namespace platform::spool {

using text::Quote;
using text::SplitLine;

namespace {

struct TextKey {
    const char* pszKey;
    std::string PrinterRecord::*pField;
};
constexpr TextKey TEXT_KEYS[] = {
    {"port", &PrinterRecord::strPortName},         {"share", &PrinterRecord::strShareName},
    {"driver", &PrinterRecord::strDriverName},     {"comment", &PrinterRecord::strComment},
    {"location", &PrinterRecord::strLocation},     {"sepfile", &PrinterRecord::strSepFile},
    {"printprocessor", &PrinterRecord::strPrintProcessor}, {"datatype", &PrinterRecord::strDatatype},
    {"parameters", &PrinterRecord::strParameters},
};

struct NumberKey {
    const char* pszKey;
    DWORD PrinterRecord::*pField;
};
constexpr NumberKey NUMBER_KEYS[] = {
    {"attributes", &PrinterRecord::nAttributes}, {"priority", &PrinterRecord::nPriority},
    {"defaultpriority", &PrinterRecord::nDefaultPriority}, {"starttime", &PrinterRecord::nStartTime},
    {"untiltime", &PrinterRecord::nUntilTime},   {"status", &PrinterRecord::nStatus},
    {"jobs", &PrinterRecord::nJobs},             {"averageppm", &PrinterRecord::nAveragePPM},
};

std::string Hex(const std::vector<BYTE>& aBytes) {
    static const char DIGITS[] = "0123456789abcdef";
    std::string result;
    for (BYTE b : aBytes) {
        result += DIGITS[b >> 4];
        result += DIGITS[b & 0xF];
    }
    return result;
}

bool FromHex(const std::string& text, std::vector<BYTE>* pBytes) {
    if (text.size() % 2) return false;
    pBytes->clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        if (std::sscanf(text.c_str() + i, "%2x", &value) != 1 || !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
            return false;
        pBytes->push_back(static_cast<BYTE>(value));
    }
    return true;
}

bool FromNumber(const std::string& text, DWORD* pValue) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (errno || *end || value > 0xFFFFFFFFull) return false;
    *pValue = static_cast<DWORD>(value);
    return true;
}

bool SetField(PrinterRecord* pRecord, const std::string& strKey, const std::string& strValue) {
    for (const auto& key : TEXT_KEYS) {
        if (strKey == key.pszKey) {
            pRecord->*key.pField = strValue;
            return true;
        }
    }
    for (const auto& key : NUMBER_KEYS)
        if (strKey == key.pszKey) return FromNumber(strValue, &(pRecord->*key.pField));
    if (strKey == "devmode") return FromHex(strValue, &pRecord->aDevMode);
    return false;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

std::string LocalSpoolerFile() { return PrefixRoot() + "/spooler/printers.txt"; }

std::string CLocalSpooler::HostFile() const { return m_strHostFile.empty() ? LocalSpoolerFile() : m_strHostFile; }

std::string FormatPrinters(const std::vector<PrinterRecord>& aPrinters) {
    std::string text = "# Local printers, in enumeration order.\n";
    for (const auto& printer : aPrinters) {
        text += "\nprinter " + Quote(printer.strPrinterName) + "\n";
        for (const auto& key : TEXT_KEYS) text += std::string(key.pszKey) + " " + Quote(printer.*key.pField) + "\n";
        text += "devmode " + Quote(Hex(printer.aDevMode)) + "\n";
        for (const auto& key : NUMBER_KEYS)
            text += std::string(key.pszKey) + " " + std::to_string(printer.*key.pField) + "\n";
    }
    return text;
}

bool ParsePrinters(const std::string& text, std::vector<PrinterRecord>* pPrinters, std::string* pError) {
    pPrinters->clear();
    std::istringstream in(text);
    std::string line;
    for (int nLine = 1; std::getline(in, line); ++nLine) {
        std::vector<std::string> words;
        std::string error;
        if (!SplitLine(line, &words, &error)) {
            *pError = "line " + std::to_string(nLine) + ": " + error;
            return false;
        }
        if (words.empty() || words[0][0] == '#') continue;
        if (words.size() != 2) {
            *pError = "line " + std::to_string(nLine) + ": expected KEY VALUE";
            return false;
        }
        if (words[0] == "printer") {
            if (words[1].empty()) {
                *pError = "line " + std::to_string(nLine) + ": empty printer name";
                return false;
            }
            pPrinters->emplace_back();
            pPrinters->back().strPrinterName = words[1];
        } else if (pPrinters->empty() || !SetField(&pPrinters->back(), words[0], words[1])) {
            *pError = "line " + std::to_string(nLine) + ": bad " + words[0];
            return false;
        }
    }
    return true;
}

BOOL CLocalSpooler::Enumerate(std::vector<PrinterRecord>* pPrinters) {
    pPrinters->clear();
    std::string strFile = HostFile();
    std::error_code ec;
    if (!std::filesystem::exists(strFile, ec)) return TRUE;
    std::ifstream in(strFile, std::ios::binary);
    if (!in.is_open()) return Fail(ERROR_ACCESS_DENIED);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    if (in.bad()) return Fail(ERROR_READ_FAULT);
    std::string error;
    return ParsePrinters(text, pPrinters, &error) ? TRUE : Fail(ERROR_INVALID_DATA);
}

BOOL CLocalSpooler::Open(const std::string& strPrinterName, DWORD) {
    std::vector<PrinterRecord> printers;
    if (!Enumerate(&printers)) return FALSE;
    for (const auto& printer : printers)
        if (SamePrinterName(printer.strPrinterName, strPrinterName)) return TRUE;
    return Fail(ERROR_INVALID_PRINTER_NAME);
}

BOOL CLocalSpooler::Set(const std::string& strPrinterName, const PrinterRecord& record) {
    std::vector<PrinterRecord> printers;
    if (!Enumerate(&printers)) return FALSE;
    PrinterRecord* pPrinter = nullptr;
    for (auto& printer : printers)
        if (SamePrinterName(printer.strPrinterName, strPrinterName)) pPrinter = &printer;
    if (!pPrinter) return Fail(ERROR_INVALID_PRINTER_NAME);
    *pPrinter = record;
    std::string strFile = HostFile();

    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(strFile).parent_path(), ec);
    std::string strNew = strFile + ".new";
    {
        std::ofstream out(strNew, std::ios::binary | std::ios::trunc);
        out << FormatPrinters(printers);
        out.flush();
        if (!out) return Fail(ERROR_WRITE_FAULT);
    }
    std::filesystem::rename(strNew, strFile, ec);
    return ec ? Fail(ERROR_WRITE_FAULT) : TRUE;
}

}  // namespace platform::spool
