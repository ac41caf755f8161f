#include "portswitch/wine/wine_spooler.h"

#include <cstdio>
#include <memory>

namespace {

char g_szDriver[] = "Kestra Test PostScript";
char g_szWineDriverFile[] = "wineps.drv";
char g_szPrintProcessor[] = "winprint";
char g_szDatatype[] = "RAW";

std::string Failed(const std::string& strWhat) {
    return strWhat + " failed (error " + std::to_string(GetLastError()) + ")";
}

// The level-N records of a two-call enumeration; empty with *pError on failure.
template <typename Enumerate>
std::unique_ptr<BYTE[]> EnumerateAll(Enumerate enumerate, DWORD* pCount, const char* pszWhat, std::string* pError) {
    DWORD cbNeeded = 0;
    *pCount = 0;
    if (!enumerate(nullptr, 0, &cbNeeded, pCount) && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        *pError = Failed(pszWhat);
        return nullptr;
    }
    auto buffer = std::make_unique<BYTE[]>(cbNeeded + 1);
    if (!enumerate(buffer.get(), cbNeeded, &cbNeeded, pCount)) {
        *pError = Failed(pszWhat);
        return nullptr;
    }
    return buffer;
}

std::unique_ptr<BYTE[]> EnumerateLocalPrinters(DWORD* pCount, std::string* pError) {
    return EnumerateAll(
        [](BYTE* pBuffer, DWORD cb, DWORD* pcbNeeded, DWORD* pCount) {
            return EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, pBuffer, cb, pcbNeeded, pCount);
        },
        pCount, "EnumPrintersA", pError);
}

bool PortExists(const std::string& strPort, std::string* pError, bool* pbExists) {
    DWORD nCount = 0;
    auto buffer = EnumerateAll(
        [](BYTE* pBuffer, DWORD cb, DWORD* pcbNeeded, DWORD* pCount) {
            return EnumPortsA(nullptr, 1, pBuffer, cb, pcbNeeded, pCount);
        },
        &nCount, "EnumPortsA", pError);
    if (!buffer) return false;
    auto* pPorts = reinterpret_cast<PORT_INFO_1A*>(buffer.get());
    *pbExists = false;
    for (DWORD i = 0; i < nCount; ++i)
        if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, pPorts[i].pName, -1, strPort.c_str(), -1) == CSTR_EQUAL)
            *pbExists = true;
    return true;
}

}  // namespace

bool CWineSpooler::Prepare(std::string* pError) {
    // A fresh prefix has no printer driver: AddPrinter fails with error 87
    // until one is added.
    DRIVER_INFO_3A driver{};
    driver.cVersion = 3;
    driver.pName = g_szDriver;
    driver.pDriverPath = g_szWineDriverFile;
    driver.pDataFile = g_szWineDriverFile;
    driver.pConfigFile = g_szWineDriverFile;
    if (!AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_NEW_FILES)) {
        *pError = Failed("AddPrinterDriverExA of Wine's PostScript driver");
        return false;
    }
    return true;
}

bool CWineSpooler::Clear(std::string* pError) {
    DWORD nCount = 0;
    auto buffer = EnumerateLocalPrinters(&nCount, pError);
    if (!buffer) return false;
    auto* pPrinters = reinterpret_cast<PRINTER_INFO_2A*>(buffer.get());
    for (DWORD i = 0; i < nCount; ++i) {
        PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        HANDLE hPrinter = nullptr;
        if (!OpenPrinterA(pPrinters[i].pPrinterName, &hPrinter, &defaults)) {
            *pError = Failed(std::string("OpenPrinterA of ") + pPrinters[i].pPrinterName);
            return false;
        }
        BOOL bDeleted = DeletePrinter(hPrinter);
        if (!bDeleted) *pError = Failed(std::string("DeletePrinter of ") + pPrinters[i].pPrinterName);
        ClosePrinter(hPrinter);
        if (!bDeleted) return false;
    }
    m_aNames.clear();
    return true;
}

bool CWineSpooler::AddPort(const std::string& strPort, std::string* pError) {
    bool bExists = false;
    if (!PortExists(strPort, pError, &bExists)) return false;
    if (bExists) return true;
    char szMonitor[] = ",XcvMonitor Local Port";
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    HANDLE hXcv = nullptr;
    if (!OpenPrinterA(szMonitor, &hXcv, &defaults)) {
        *pError = Failed("OpenPrinterA of the local port monitor");
        return false;
    }
    std::wstring port(strPort.size() + 1, L'\0');
    int nChars = MultiByteToWideChar(CP_ACP, 0, strPort.c_str(), -1, port.data(), static_cast<int>(port.size()));
    DWORD cbNeeded = 0;
    DWORD nStatus = ERROR_SUCCESS;
    BOOL bOk = nChars > 0 && XcvDataW(hXcv, L"AddPort", reinterpret_cast<BYTE*>(port.data()),
                                      static_cast<DWORD>(nChars * sizeof(wchar_t)), nullptr, 0, &cbNeeded, &nStatus);
    ClosePrinter(hXcv);
    if (!bOk || nStatus != ERROR_SUCCESS) {
        *pError = "XcvData AddPort \"" + strPort + "\" failed (error " +
                  std::to_string(bOk ? nStatus : GetLastError()) + ")";
        return false;
    }
    return true;
}

bool CWineSpooler::PutPrinter(const std::string& strName, const std::string& strPort, std::string* pError) {
    for (std::size_t nStart = 0; nStart <= strPort.size();) {
        std::size_t nComma = strPort.find(',', nStart);
        if (nComma == std::string::npos) nComma = strPort.size();
        if (nComma > nStart && !AddPort(strPort.substr(nStart, nComma - nStart), pError)) return false;
        nStart = nComma + 1;
    }
    std::string strPortText = strPort;
    bool bKnown = false;
    for (const auto& name : m_aNames) bKnown = bKnown || name == strName;
    if (!bKnown) {
        if (m_aNames.size() == 99) {
            *pError = "more than 99 printers";
            return false;
        }
        m_aNames.push_back(strName);
        std::string strSpoolerName = SpoolerName(strName);
        PRINTER_INFO_2A printer{};
        printer.pPrinterName = strSpoolerName.data();
        printer.pPortName = strPortText.data();
        printer.pDriverName = g_szDriver;
        printer.pPrintProcessor = g_szPrintProcessor;
        printer.pDatatype = g_szDatatype;
        printer.Attributes = PRINTER_ATTRIBUTE_LOCAL;
        HANDLE hPrinter = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&printer));
        if (!hPrinter) {
            m_aNames.pop_back();
            *pError = Failed("AddPrinterA of " + strSpoolerName);
            return false;
        }
        ClosePrinter(hPrinter);
        return true;
    }
    std::string strSpoolerName = SpoolerName(strName);
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE hPrinter = nullptr;
    if (!OpenPrinterA(strSpoolerName.data(), &hPrinter, &defaults)) {
        *pError = Failed("OpenPrinterA of " + strSpoolerName);
        return false;
    }
    DWORD cbNeeded = 0;
    GetPrinterA(hPrinter, 2, nullptr, 0, &cbNeeded);
    auto buffer = std::make_unique<BYTE[]>(cbNeeded + 1);
    auto* pPrinter = reinterpret_cast<PRINTER_INFO_2A*>(buffer.get());
    bool bOk = GetPrinterA(hPrinter, 2, buffer.get(), cbNeeded, &cbNeeded);
    if (bOk) {
        pPrinter->pPortName = strPortText.data();
        bOk = SetPrinterA(hPrinter, 2, buffer.get(), 0);
    }
    if (!bOk) *pError = Failed("moving " + strSpoolerName);
    ClosePrinter(hPrinter);
    return bOk;
}

bool CWineSpooler::List(std::vector<ScenarioPrinter>* pPrinters, std::string* pError) {
    DWORD nCount = 0;
    auto buffer = EnumerateLocalPrinters(&nCount, pError);
    if (!buffer) return false;
    auto* pRecords = reinterpret_cast<PRINTER_INFO_2A*>(buffer.get());
    pPrinters->clear();
    for (DWORD i = 0; i < nCount; ++i)
        pPrinters->push_back({ScriptName(pRecords[i].pPrinterName), pRecords[i].pPortName ? pRecords[i].pPortName : ""});
    return true;
}

std::string CWineSpooler::SpoolerName(const std::string& strName) const {
    for (std::size_t i = 0; i < m_aNames.size(); ++i) {
        if (m_aNames[i] != strName) continue;
        char szPlace[8];
        std::snprintf(szPlace, sizeof szPlace, "%02u ", static_cast<unsigned>(i + 1));
        std::string strSpoolerName = szPlace;
        strSpoolerName += strName;
        return strSpoolerName;
    }
    return strName;
}

std::string CWineSpooler::ScriptName(const std::string& strSpoolerName) const {
    for (const auto& name : m_aNames)
        if (SpoolerName(name) == strSpoolerName) return name;
    return strSpoolerName;
}
