// The local printers as one level-2 enumeration returns them, and the one
// way a printer's record is written back.
#pragma once

#include "platform/spool/winspool.h"

class CPrinterList {
public:
    CPrinterList() = default;
    CPrinterList(const CPrinterList&) = delete;
    CPrinterList& operator=(const CPrinterList&) = delete;
    ~CPrinterList();

    // TRUE when the printers were enumerated; FALSE when the buffer could not
    // be allocated or the spooler failed.
    BOOL Enumerate();
    DWORD GetCount() const { return m_nCount; }
    PRINTER_INFO_2A& GetAt(DWORD nIndex) { return m_pPrinters[nIndex]; }

private:
    HLOCAL m_pBuffer = nullptr;
    PRINTER_INFO_2A* m_pPrinters = nullptr;
    DWORD m_nCount = 0;
};

// Writes the printer's record back with pszPort as its port name, every other
// field as enumerated: open, set, close. TRUE when the spooler took it.
BOOL SetPrinterPort(PRINTER_INFO_2A& printer, const char* pszPort);
