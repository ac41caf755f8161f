// The prefix's own spooler: the local printers kept in a text file, read on
// every call and rewritten whole (through a new file and a rename) on every
// change, so that changes last and several processes see the same printers.
//
// The file holds one block per printer, in enumeration order; a block starts
// with `printer "NAME"` and continues with `KEY VALUE` lines. Strings are
// quoted with C escapes; devmode is the device mode's bytes in hex (empty:
// none); numbers are decimal or 0x-hex. Blank lines and lines starting with
// '#' are skipped. Keys: port share driver comment location devmode sepfile
// printprocessor datatype parameters attributes priority defaultpriority
// starttime untiltime status jobs averageppm; a missing key is empty or 0.
#pragma once

#include <string>
#include <vector>

#include "platform/spool/spooler.h"

namespace platform::spool {

// The printer file of the prefix in use: <prefix>/spooler/printers.txt.
std::string LocalSpoolerFile();

class CLocalSpooler : public CSpooler {
public:
    // LocalSpoolerFile() at each call.
    CLocalSpooler() = default;
    // A missing file is a spooler without printers.
    explicit CLocalSpooler(std::string strHostFile) : m_strHostFile(std::move(strHostFile)) {}

    // Enumerate fails with ERROR_INVALID_DATA for a file that cannot be read as above.
    BOOL Enumerate(std::vector<PrinterRecord>* pPrinters) override;
    BOOL Open(const std::string& strPrinterName, DWORD access) override;
    BOOL Set(const std::string& strPrinterName, const PrinterRecord& record) override;
    void Close(const std::string&) override {}

private:
    std::string HostFile() const;

    std::string m_strHostFile;
};

// The file's text for the printers, and back; false with *pError naming the line.
std::string FormatPrinters(const std::vector<PrinterRecord>& aPrinters);
bool ParsePrinters(const std::string& text, std::vector<PrinterRecord>* pPrinters, std::string* pError);

}  // namespace platform::spool
