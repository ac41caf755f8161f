#include "portswitch/wine/spooler_calls.h"

#include <map>

#include "portswitch/wine/import_routes.h"

namespace {

std::vector<SpoolerCall> g_aCalls;
std::map<HANDLE, std::string> g_openPrinters;
bool g_bFailEnumeration = false;
std::vector<std::string> g_aFailOpen;
std::vector<std::string> g_aFailSet;

// True once for each time the printer was named to fail.
bool Take(std::vector<std::string>* pNames, const std::string& strPrinter) {
    for (auto it = pNames->begin(); it != pNames->end(); ++it) {
        if (lstrcmpiA(it->c_str(), strPrinter.c_str()) != 0) continue;
        pNames->erase(it);
        return true;
    }
    return false;
}

// A failed call as the spooler reports one; the real spooler is not asked.
BOOL Refuse(const char* pszFunction, const std::string& strPrinter, DWORD access, DWORD error) {
    g_aCalls.push_back({pszFunction, strPrinter, access, "", false});
    SetLastError(error);
    return FALSE;
}

BOOL WINAPI RecordedEnumPrintersA(DWORD Flags, LPSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                                  LPDWORD pcbNeeded, LPDWORD pcReturned) {
    if (g_bFailEnumeration) {
        g_bFailEnumeration = false;
        return Refuse("EnumPrintersA", "", 0, RPC_S_SERVER_UNAVAILABLE);
    }
    BOOL bOk = EnumPrintersA(Flags, Name, Level, pPrinterEnum, cbBuf, pcbNeeded, pcReturned);
    DWORD error = GetLastError();
    // Asking for the size is no failure of the spooler.
    g_aCalls.push_back({"EnumPrintersA", "", 0, "", bOk || error == ERROR_INSUFFICIENT_BUFFER});
    SetLastError(error);
    return bOk;
}

BOOL WINAPI RecordedOpenPrinterA(LPSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSA pDefault) {
    std::string strName = pPrinterName ? pPrinterName : "";
    if (Take(&g_aFailOpen, strName))
        return Refuse("OpenPrinterA", strName, pDefault ? pDefault->DesiredAccess : 0, ERROR_ACCESS_DENIED);
    BOOL bOk = OpenPrinterA(pPrinterName, phPrinter, pDefault);
    DWORD error = GetLastError();
    g_aCalls.push_back({"OpenPrinterA", strName, pDefault ? pDefault->DesiredAccess : 0, "", bOk != FALSE});
    if (bOk) g_openPrinters[*phPrinter] = strName;
    SetLastError(error);
    return bOk;
}

BOOL WINAPI RecordedSetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
    auto* pRecord = Level == 2 ? reinterpret_cast<PRINTER_INFO_2A*>(pPrinter) : nullptr;
    std::string strPort = pRecord && pRecord->pPortName ? pRecord->pPortName : "";
    auto it = g_openPrinters.find(hPrinter);
    std::string strName = it == g_openPrinters.end() ? "" : it->second;
    bool bFail = Take(&g_aFailSet, strName);
    BOOL bOk = bFail ? FALSE : SetPrinterA(hPrinter, Level, pPrinter, Command);
    DWORD error = bFail ? ERROR_ACCESS_DENIED : GetLastError();
    g_aCalls.push_back({"SetPrinterA", strName, 0, strPort, bOk != FALSE});
    SetLastError(error);
    return bOk;
}

BOOL WINAPI RecordedClosePrinter(HANDLE hPrinter) {
    auto it = g_openPrinters.find(hPrinter);
    std::string strName = it == g_openPrinters.end() ? "" : it->second;
    BOOL bOk = ClosePrinter(hPrinter);
    DWORD error = GetLastError();
    g_aCalls.push_back({"ClosePrinter", strName, 0, "", bOk != FALSE});
    if (bOk && it != g_openPrinters.end()) g_openPrinters.erase(it);
    SetLastError(error);
    return bOk;
}

const ImportRoute g_routes[] = {
    {"EnumPrintersA", reinterpret_cast<void*>(&RecordedEnumPrintersA)},
    {"OpenPrinterA", reinterpret_cast<void*>(&RecordedOpenPrinterA)},
    {"SetPrinterA", reinterpret_cast<void*>(&RecordedSetPrinterA)},
    {"ClosePrinter", reinterpret_cast<void*>(&RecordedClosePrinter)},
};

}  // namespace

bool RecordSpoolerCalls(HMODULE hModule, std::string* pError) {
    return RouteImports(hModule, "winspool.drv", g_routes, sizeof g_routes / sizeof g_routes[0], pError);
}

void FailNextEnumeration() { g_bFailEnumeration = true; }
void FailNextOpen(const std::string& strPrinter) { g_aFailOpen.push_back(strPrinter); }
void FailNextSet(const std::string& strPrinter) { g_aFailSet.push_back(strPrinter); }

void ClearSpoolerFaults() {
    g_bFailEnumeration = false;
    g_aFailOpen.clear();
    g_aFailSet.clear();
}

const std::vector<SpoolerCall>& SpoolerCalls() { return g_aCalls; }

void ClearSpoolerCalls() { g_aCalls.clear(); }

int OpenPrinterHandles() { return static_cast<int>(g_openPrinters.size()); }
