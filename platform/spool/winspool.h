// Print-spooler face: enumerating the local printers and rewriting a
// printer's level-2 record. Records come back packed into the caller's
// buffer, strings and device modes behind the array of records.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <winspool.h>
#else

#include "platform/base/win_types.h"

constexpr DWORD PRINTER_ENUM_LOCAL = 0x00000002;
constexpr DWORD PRINTER_ACCESS_ADMINISTER = 0x00000004;
constexpr DWORD PRINTER_ACCESS_USE = 0x00000008;
constexpr DWORD PRINTER_ALL_ACCESS = 0x000F000C;
constexpr DWORD PRINTER_ATTRIBUTE_QUEUED = 0x00000001;
constexpr DWORD PRINTER_ATTRIBUTE_SHARED = 0x00000008;
constexpr DWORD PRINTER_ATTRIBUTE_LOCAL = 0x00000040;

constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD RPC_S_SERVER_UNAVAILABLE = 1722;
constexpr DWORD ERROR_INVALID_PRINTER_NAME = 1801;

constexpr int CCHDEVICENAME = 32;
constexpr int CCHFORMNAME = 32;

// A printer's device settings. dmSize bytes of this record are followed by
// dmDriverExtra bytes that belong to the printer driver.
struct DEVMODEA {
    BYTE dmDeviceName[CCHDEVICENAME];
    WORD dmSpecVersion;
    WORD dmDriverVersion;
    WORD dmSize;
    WORD dmDriverExtra;
    DWORD dmFields;
    short dmOrientation;
    short dmPaperSize;
    short dmPaperLength;
    short dmPaperWidth;
    short dmScale;
    short dmCopies;
    short dmDefaultSource;
    short dmPrintQuality;
    short dmColor;
    short dmDuplex;
    short dmYResolution;
    short dmTTOption;
    short dmCollate;
    BYTE dmFormName[CCHFORMNAME];
    WORD dmLogPixels;
    DWORD dmBitsPerPel;
    DWORD dmPelsWidth;
    DWORD dmPelsHeight;
    DWORD dmDisplayFlags;
    DWORD dmDisplayFrequency;
    DWORD dmICMMethod;
    DWORD dmICMIntent;
    DWORD dmMediaType;
    DWORD dmDitherType;
    DWORD dmReserved1;
    DWORD dmReserved2;
    DWORD dmPanningWidth;
    DWORD dmPanningHeight;
};
using LPDEVMODEA = DEVMODEA*;
using PSECURITY_DESCRIPTOR = void*;

struct PRINTER_INFO_2A {
    LPSTR pServerName;  // NULL for local printers
    LPSTR pPrinterName;
    LPSTR pShareName;
    LPSTR pPortName;  // several ports of a pool are separated by ','
    LPSTR pDriverName;
    LPSTR pComment;
    LPSTR pLocation;
    LPDEVMODEA pDevMode;  // NULL when the printer has none
    LPSTR pSepFile;
    LPSTR pPrintProcessor;
    LPSTR pDatatype;
    LPSTR pParameters;
    PSECURITY_DESCRIPTOR pSecurityDescriptor;  // always NULL here: no security model
    DWORD Attributes;
    DWORD Priority;
    DWORD DefaultPriority;
    DWORD StartTime;
    DWORD UntilTime;
    DWORD Status;
    DWORD cJobs;
    DWORD AveragePPM;
};
using PRINTER_INFO_2 = PRINTER_INFO_2A;
using PPRINTER_INFO_2A = PRINTER_INFO_2A*;

struct PRINTER_DEFAULTSA {
    LPSTR pDatatype;
    LPDEVMODEA pDevMode;
    DWORD DesiredAccess;
};
using PRINTER_DEFAULTS = PRINTER_DEFAULTSA;
using LPPRINTER_DEFAULTSA = PRINTER_DEFAULTSA*;

// Level 2 with PRINTER_ENUM_LOCAL and name NULL or "" (this machine; other
// flags find no printers, as there are no others). TRUE with
// *pcReturned records in the buffer and *pcbNeeded the bytes used; FALSE with
// ERROR_INSUFFICIENT_BUFFER and *pcbNeeded the bytes needed when cbBuf is too
// small (pass NULL and 0 to learn the size); FALSE with ERROR_INVALID_LEVEL,
// ERROR_INVALID_NAME, ERROR_INVALID_PARAMETER or the spooler's error otherwise.
BOOL EnumPrintersA(DWORD Flags, LPSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf, LPDWORD pcbNeeded,
                   LPDWORD pcReturned);
// TRUE with a printer handle in *phPrinter; FALSE with
// ERROR_INVALID_PRINTER_NAME for an unknown printer or the spooler's error.
// Without defaults the access is PRINTER_ACCESS_USE.
BOOL OpenPrinterA(LPSTR pPrinterName, HANDLE* phPrinter, LPPRINTER_DEFAULTSA pDefault);
// Level 2, Command 0: TRUE when the record replaced the printer's; FALSE with
// ERROR_INVALID_HANDLE, ERROR_ACCESS_DENIED (opened without
// PRINTER_ACCESS_ADMINISTER), ERROR_INVALID_LEVEL, ERROR_INVALID_PARAMETER,
// ERROR_NOT_SUPPORTED (a command or a security descriptor) or the spooler's error.
BOOL SetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command);
// TRUE when the handle was a printer handle; FALSE with ERROR_INVALID_HANDLE.
BOOL ClosePrinter(HANDLE hPrinter);

#endif  // _WIN32
