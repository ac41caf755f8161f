#include "portswitch/printer_list.h"

#include "platform/base/win_base.h"

CPrinterList::~CPrinterList() {
    if (m_pBuffer) LocalFree(m_pBuffer);
}

BOOL CPrinterList::Enumerate() {
    char szLocalMachine[] = "";
    DWORD cbNeeded = 0;
    DWORD nReturned = 0;
    if (!EnumPrintersA(PRINTER_ENUM_LOCAL, szLocalMachine, 2, nullptr, 0, &cbNeeded, &nReturned) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return FALSE;
    DWORD cbBuffer = cbNeeded + 4;
    m_pBuffer = LocalAlloc(LPTR, cbBuffer);
    if (!m_pBuffer) return FALSE;
    if (!EnumPrintersA(PRINTER_ENUM_LOCAL, szLocalMachine, 2, static_cast<LPBYTE>(m_pBuffer), cbBuffer, &cbNeeded,
                       &nReturned))
        return FALSE;
    m_pPrinters = static_cast<PRINTER_INFO_2A*>(m_pBuffer);
    m_nCount = nReturned;
    return TRUE;
}

BOOL SetPrinterPort(PRINTER_INFO_2A& printer, const char* pszPort) {
    LPSTR pEnumeratedPort = printer.pPortName;
    printer.pPortName = const_cast<LPSTR>(pszPort);
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE hPrinter = nullptr;
    BOOL bOk = OpenPrinterA(printer.pPrinterName, &hPrinter, &defaults);
    if (bOk) {
        bOk = SetPrinterA(hPrinter, 2, reinterpret_cast<LPBYTE>(&printer), 0);
        ClosePrinter(hPrinter);
    }
    printer.pPortName = pEnumeratedPort;
    return bOk;
}
