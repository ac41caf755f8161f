#include "platform/spool/test_spooler.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/base/win_base.h"
#include "platform/spool/winspool.h"

namespace platform::spool {

namespace {

// A device mode of odd total length, so that packing and copying must keep every byte.
std::vector<BYTE> DevModeFor(const std::string& strName, std::size_t nIndex) {
    DEVMODEA devMode{};
    std::memcpy(devMode.dmDeviceName, strName.c_str(), std::min<std::size_t>(strName.size(), CCHDEVICENAME - 1));
    devMode.dmSpecVersion = 0x0401;
    devMode.dmSize = sizeof(DEVMODEA);
    devMode.dmDriverExtra = static_cast<WORD>(3 + nIndex);
    devMode.dmCopies = static_cast<short>(1 + nIndex);
    std::vector<BYTE> aBytes(sizeof devMode + devMode.dmDriverExtra);
    std::memcpy(aBytes.data(), &devMode, sizeof devMode);
    for (std::size_t i = sizeof devMode; i < aBytes.size(); ++i) aBytes[i] = static_cast<BYTE>(0xA0 + i);
    return aBytes;
}

void Compare(const PrinterRecord& before, const PrinterRecord& after, std::vector<std::string>* pChanges) {
    auto check = [&](bool same, const char* pszField) {
        if (!same) pChanges->push_back(before.strPrinterName + ": " + pszField);
    };
    check(before.strPrinterName == after.strPrinterName, "pPrinterName");
    check(before.strShareName == after.strShareName, "pShareName");
    check(before.strDriverName == after.strDriverName, "pDriverName");
    check(before.strComment == after.strComment, "pComment");
    check(before.strLocation == after.strLocation, "pLocation");
    check(before.aDevMode == after.aDevMode, "pDevMode");
    check(before.strSepFile == after.strSepFile, "pSepFile");
    check(before.strPrintProcessor == after.strPrintProcessor, "pPrintProcessor");
    check(before.strDatatype == after.strDatatype, "pDatatype");
    check(before.strParameters == after.strParameters, "pParameters");
    check(before.nAttributes == after.nAttributes, "Attributes");
    check(before.nPriority == after.nPriority, "Priority");
    check(before.nDefaultPriority == after.nDefaultPriority, "DefaultPriority");
    check(before.nStartTime == after.nStartTime, "StartTime");
    check(before.nUntilTime == after.nUntilTime, "UntilTime");
    check(before.nStatus == after.nStatus, "Status");
    check(before.nJobs == after.nJobs, "cJobs");
    check(before.nAveragePPM == after.nAveragePPM, "AveragePPM");
}

}  // namespace

void CTestSpooler::AddPrinter(const std::string& strName, const std::string& strPort) {
    std::size_t n = m_aPrinters.size();
    std::string strNumber = std::to_string(n + 1);
    PrinterRecord record;
    record.strPrinterName = strName;
    record.strShareName = n % 2 ? "share" + strNumber : "";
    record.strPortName = strPort;
    record.strDriverName = "Driver " + strNumber;
    record.strComment = "comment of " + strName;
    record.strLocation = "room " + strNumber;
    record.aDevMode = n % 3 == 2 ? std::vector<BYTE>() : DevModeFor(strName, n);
    record.strSepFile = n % 2 ? "C:\\WINDOWS\\sep" + strNumber + ".sep" : "";
    record.strPrintProcessor = "WinPrint";
    record.strDatatype = n % 2 ? "EMF" : "RAW";
    record.strParameters = "p=" + strNumber;
    record.nAttributes = PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_QUEUED | (n % 2 ? PRINTER_ATTRIBUTE_SHARED : 0);
    record.nPriority = static_cast<DWORD>(1 + n);
    record.nDefaultPriority = static_cast<DWORD>(2 + n);
    record.nStartTime = static_cast<DWORD>(60 * n);
    record.nUntilTime = static_cast<DWORD>(1440 - 60 * n);
    record.nStatus = static_cast<DWORD>(n % 2 ? 0x80 : 0);
    record.nJobs = static_cast<DWORD>(n);
    record.nAveragePPM = static_cast<DWORD>(10 + n);
    m_aPrinters.push_back(record);
}

bool CTestSpooler::MovePrinter(const std::string& strName, const std::string& strPort) {
    PrinterRecord* pPrinter = Find(strName);
    if (pPrinter) pPrinter->strPortName = strPort;
    return pPrinter != nullptr;
}

void CTestSpooler::FailOpen(const std::string& strName) { m_aFailOpen.push_back(strName); }
void CTestSpooler::FailSet(const std::string& strName) { m_aFailSet.push_back(strName); }

BOOL CTestSpooler::Enumerate(std::vector<PrinterRecord>* pPrinters) {
    DWORD error = std::exchange(m_bFailEnumerate, false) ? RPC_S_SERVER_UNAVAILABLE
                                                         : platform::test::CallFault("EnumPrintersA", "");
    m_aCalls.push_back({"EnumPrintersA", "", "", 0, error == ERROR_SUCCESS});
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    *pPrinters = m_aPrinters;
    return TRUE;
}

BOOL CTestSpooler::Open(const std::string& strPrinterName, DWORD access) {
    DWORD error = !Find(strPrinterName)                  ? ERROR_INVALID_PRINTER_NAME
                  : Take(&m_aFailOpen, strPrinterName) ? ERROR_ACCESS_DENIED
                                                       : platform::test::CallFault("OpenPrinterA", strPrinterName.c_str());
    m_aCalls.push_back({"OpenPrinterA", strPrinterName, "", access, error == ERROR_SUCCESS});
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    ++m_nOpenHandles;
    return TRUE;
}

BOOL CTestSpooler::Set(const std::string& strPrinterName, const PrinterRecord& record) {
    PrinterRecord* pPrinter = Find(strPrinterName);
    DWORD error = !pPrinter                             ? ERROR_INVALID_PRINTER_NAME
                  : Take(&m_aFailSet, strPrinterName) ? ERROR_ACCESS_DENIED
                                                      : platform::test::CallFault("SetPrinterA", strPrinterName.c_str());
    m_aCalls.push_back({"SetPrinterA", strPrinterName, record.strPortName, 0, error == ERROR_SUCCESS});
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    Compare(*pPrinter, record, &m_aFieldChanges);
    *pPrinter = record;
    return TRUE;
}

void CTestSpooler::Close(const std::string& strPrinterName) {
    --m_nOpenHandles;
    m_aCalls.push_back({"ClosePrinter", strPrinterName, "", 0, true});
}

PrinterRecord* CTestSpooler::Find(const std::string& strName) {
    for (auto& printer : m_aPrinters)
        if (SamePrinterName(printer.strPrinterName, strName)) return &printer;
    return nullptr;
}

bool CTestSpooler::Take(std::vector<std::string>* pNames, const std::string& strName) {
    auto it = std::find_if(pNames->begin(), pNames->end(), [&](const std::string& s) { return SamePrinterName(s, strName); });
    if (it == pNames->end()) return false;
    pNames->erase(it);
    return true;
}

}  // namespace platform::spool
