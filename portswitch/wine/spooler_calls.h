// The spooler calls a loaded module makes, seen through its import table:
// each of EnumPrintersA, OpenPrinterA, SetPrinterA and ClosePrinter that the
// module imports from winspool.drv is routed through a recorder that passes
// the call on unchanged, or fails it when a test asked for that.
#pragma once

#include <string>
#include <vector>

#include "platform/spool/winspool.h"

struct SpoolerCall {
    std::string strFunction;
    std::string strPrinter;  // as the spooler names it; empty for EnumPrintersA
    DWORD access = 0;        // OpenPrinterA
    std::string strPort;     // SetPrinterA: the port in the record
    bool bOk = false;
};

// Routes the module's imports through the recorder. False with *pError when
// the module's import table cannot be read or patched.
bool RecordSpoolerCalls(HMODULE hModule, std::string* pError);
// The next enumeration fails (RPC_S_SERVER_UNAVAILABLE); the next open or
// set of the printer (its spooler name) fails (ERROR_ACCESS_DENIED).
void FailNextEnumeration();
void FailNextOpen(const std::string& strPrinter);
void FailNextSet(const std::string& strPrinter);
// Drops the faults that have not struck.
void ClearSpoolerFaults();
// The calls since the last ClearSpoolerCalls.
const std::vector<SpoolerCall>& SpoolerCalls();
void ClearSpoolerCalls();
// Printer handles the module opened and has not closed.
int OpenPrinterHandles();
