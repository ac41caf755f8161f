// Behind the spooler face: the printer record in plain types and the backend
// that keeps the printers (a test double, or the prefix's local spooler).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/base/win_types.h"

namespace platform::spool {

struct PrinterRecord {
    std::string strPrinterName;
    std::string strShareName;
    std::string strPortName;
    std::string strDriverName;
    std::string strComment;
    std::string strLocation;
    std::vector<BYTE> aDevMode;  // dmSize + dmDriverExtra bytes; empty: none
    std::string strSepFile;
    std::string strPrintProcessor;
    std::string strDatatype;
    std::string strParameters;
    DWORD nAttributes = 0;
    DWORD nPriority = 0;
    DWORD nDefaultPriority = 0;
    DWORD nStartTime = 0;
    DWORD nUntilTime = 0;
    DWORD nStatus = 0;
    DWORD nJobs = 0;
    DWORD nAveragePPM = 0;
    bool operator==(const PrinterRecord&) const = default;
};

// Printer names compare without regard to letter case, as the spooler's do.
bool SamePrinterName(const std::string& strName1, const std::string& strName2);

// Each returns TRUE on success, FALSE after SetLastError.
class CSpooler {
public:
    virtual ~CSpooler() = default;
    // The local printers in enumeration order.
    virtual BOOL Enumerate(std::vector<PrinterRecord>* pPrinters) = 0;
    // FALSE with ERROR_INVALID_PRINTER_NAME when there is no such printer.
    virtual BOOL Open(const std::string& strPrinterName, DWORD access) = 0;
    // Replaces the record of the printer named strPrinterName.
    virtual BOOL Set(const std::string& strPrinterName, const PrinterRecord& record) = 0;
    virtual void Close(const std::string& strPrinterName) = 0;
};

// The backend behind the face from now on; NULL: none (RPC_S_SERVER_UNAVAILABLE).
void UseSpooler(std::shared_ptr<CSpooler> spooler);

}  // namespace platform::spool
