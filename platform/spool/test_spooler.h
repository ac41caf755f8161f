// A spooler in memory for tests: printers with distinctive values in every
// field, a record of every call, failures on demand (also through the call
// fault hook of platform/base), and a check that a rewritten record changes
// nothing but its port.
#pragma once

#include <string>
#include <vector>

#include "platform/spool/spooler.h"

namespace platform::spool {

class CTestSpooler : public CSpooler {
public:
    struct Call {
        std::string strFunction;  // "EnumPrintersA", "OpenPrinterA", "SetPrinterA" or "ClosePrinter"
        std::string strPrinter;
        std::string strPort;  // SetPrinterA: the port in the record
        DWORD access;         // OpenPrinterA: the desired access
        bool bOk;
    };

    // Appends a printer (enumeration order is the order of adding).
    void AddPrinter(const std::string& strName, const std::string& strPort);
    // Puts a printer on another port behind the library's back; false when unknown.
    bool MovePrinter(const std::string& strName, const std::string& strPort);
    // The next open or rewrite of that printer fails (once each time asked).
    void FailOpen(const std::string& strName);
    void FailSet(const std::string& strName);
    // The next enumeration fails with RPC_S_SERVER_UNAVAILABLE.
    void FailEnumerate() { m_bFailEnumerate = true; }

    const std::vector<PrinterRecord>& Printers() const { return m_aPrinters; }
    const std::vector<Call>& Calls() const { return m_aCalls; }
    void ClearCalls() { m_aCalls.clear(); }
    // Printer handles opened and not yet closed.
    int OpenHandles() const { return m_nOpenHandles; }
    // "printer: field" for each field other than the port that a SetPrinterA changed.
    const std::vector<std::string>& FieldChanges() const { return m_aFieldChanges; }

    BOOL Enumerate(std::vector<PrinterRecord>* pPrinters) override;
    BOOL Open(const std::string& strPrinterName, DWORD access) override;
    BOOL Set(const std::string& strPrinterName, const PrinterRecord& record) override;
    void Close(const std::string& strPrinterName) override;

private:
    PrinterRecord* Find(const std::string& strName);
    // True (and forgotten) when strName is in aNames.
    static bool Take(std::vector<std::string>* pNames, const std::string& strName);

    std::vector<PrinterRecord> m_aPrinters;
    std::vector<Call> m_aCalls;
    std::vector<std::string> m_aFailOpen;
    std::vector<std::string> m_aFailSet;
    std::vector<std::string> m_aFieldChanges;
    bool m_bFailEnumerate = false;
    int m_nOpenHandles = 0;
};

}  // namespace platform::spool
