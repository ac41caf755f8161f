#include "portswitch/wine/spooler_calls.h"

#include <cstring>
#include <map>

namespace {

std::vector<SpoolerCall> g_aCalls;
std::map<HANDLE, std::string> g_openPrinters;

BOOL WINAPI RecordedEnumPrintersA(DWORD Flags, LPSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                                  LPDWORD pcbNeeded, LPDWORD pcReturned) {
    BOOL bOk = EnumPrintersA(Flags, Name, Level, pPrinterEnum, cbBuf, pcbNeeded, pcReturned);
    DWORD error = GetLastError();
    // Asking for the size is no failure of the spooler.
    g_aCalls.push_back({"EnumPrintersA", "", 0, "", bOk || error == ERROR_INSUFFICIENT_BUFFER});
    SetLastError(error);
    return bOk;
}

BOOL WINAPI RecordedOpenPrinterA(LPSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSA pDefault) {
    BOOL bOk = OpenPrinterA(pPrinterName, phPrinter, pDefault);
    DWORD error = GetLastError();
    std::string strName = pPrinterName ? pPrinterName : "";
    g_aCalls.push_back({"OpenPrinterA", strName, pDefault ? pDefault->DesiredAccess : 0, "", bOk != FALSE});
    if (bOk) g_openPrinters[*phPrinter] = strName;
    SetLastError(error);
    return bOk;
}

BOOL WINAPI RecordedSetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
    BOOL bOk = SetPrinterA(hPrinter, Level, pPrinter, Command);
    DWORD error = GetLastError();
    auto* pRecord = Level == 2 ? reinterpret_cast<PRINTER_INFO_2A*>(pPrinter) : nullptr;
    std::string strPort = pRecord && pRecord->pPortName ? pRecord->pPortName : "";
    auto it = g_openPrinters.find(hPrinter);
    g_aCalls.push_back({"SetPrinterA", it == g_openPrinters.end() ? "" : it->second, 0, strPort, bOk != FALSE});
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

const struct {
    const char* pszName;
    void* pRecorder;
} g_recorders[] = {
    {"EnumPrintersA", reinterpret_cast<void*>(&RecordedEnumPrintersA)},
    {"OpenPrinterA", reinterpret_cast<void*>(&RecordedOpenPrinterA)},
    {"SetPrinterA", reinterpret_cast<void*>(&RecordedSetPrinterA)},
    {"ClosePrinter", reinterpret_cast<void*>(&RecordedClosePrinter)},
};

bool Patch(ULONG_PTR* pSlot, void* pRecorder) {
    DWORD oldProtection = 0;
    if (!VirtualProtect(pSlot, sizeof *pSlot, PAGE_READWRITE, &oldProtection)) return false;
    *pSlot = reinterpret_cast<ULONG_PTR>(pRecorder);
    VirtualProtect(pSlot, sizeof *pSlot, oldProtection, &oldProtection);
    return true;
}

}  // namespace

bool RecordSpoolerCalls(HMODULE hModule, std::string* pError) {
    auto* pBase = reinterpret_cast<BYTE*>(hModule);
    auto* pDos = reinterpret_cast<IMAGE_DOS_HEADER*>(pBase);
    auto* pNt = reinterpret_cast<IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) {
        *pError = "the module imports nothing";
        return false;
    }
    int nPatched = 0;
    for (auto* pImport = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(pBase + imports.VirtualAddress); pImport->Name;
         ++pImport) {
        if (lstrcmpiA(reinterpret_cast<char*>(pBase + pImport->Name), "winspool.drv") != 0) continue;
        auto* pName = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pImport->OriginalFirstThunk);
        auto* pSlot = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pImport->FirstThunk);
        for (; pName->u1.AddressOfData; ++pName, ++pSlot) {
            if (IMAGE_SNAP_BY_ORDINAL(pName->u1.Ordinal)) continue;
            auto* pByName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(pBase + pName->u1.AddressOfData);
            for (const auto& recorder : g_recorders) {
                if (std::strcmp(reinterpret_cast<char*>(pByName->Name), recorder.pszName) != 0) continue;
                if (!Patch(reinterpret_cast<ULONG_PTR*>(&pSlot->u1.Function), recorder.pRecorder)) {
                    *pError = "cannot patch the import of " + std::string(recorder.pszName);
                    return false;
                }
                ++nPatched;
            }
        }
    }
    if (nPatched == 0) {
        *pError = "the module imports none of the spooler calls";
        return false;
    }
    return true;
}

const std::vector<SpoolerCall>& SpoolerCalls() { return g_aCalls; }

void ClearSpoolerCalls() { g_aCalls.clear(); }

int OpenPrinterHandles() { return static_cast<int>(g_openPrinters.size()); }
