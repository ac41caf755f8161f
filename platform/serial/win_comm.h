// Win32-style serial communications face: the device control block, time-outs,
// line status and the Comm calls on a handle that CreateFileA gave for "COMn"
// or "\\.\COMn". ReadFile, WriteFile, GetOverlappedResult and CloseHandle on
// such a handle are the generic file calls of platform/base/win_base.h.
#pragma once

#ifdef _WIN32
// On Windows the comm calls are the platform's own.
#include <windows.h>
#else

#include "platform/base/devices.h"
#include "platform/base/win_base.h"

// Device control block; 28 bytes, laid out as callers on 32-bit Windows expect.
struct DCB {
    DWORD DCBlength;  // sizeof(DCB)
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;  // parity checking on received bytes
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;  // DTR_CONTROL_*
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;  // RTS_CONTROL_*
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;  // 5 to 8
    BYTE Parity;    // NOPARITY ... SPACEPARITY
    BYTE StopBits;  // ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};
static_assert(sizeof(DCB) == 28, "DCB must keep the 32-bit Windows layout");
using LPDCB = DCB*;

// Milliseconds. A read ends when its total (multiplier * bytes + constant)
// passes or, once a byte came, when the gap to the next byte exceeds the
// interval; 0 turns either off. Interval 0xFFFFFFFF with both totals 0 makes a
// read return at once with what is queued; interval and multiplier 0xFFFFFFFF
// with a constant make it wait up to the constant for a first byte only. A
// time-out is no error: the read or write succeeds with the bytes it moved.
struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};
using LPCOMMTIMEOUTS = COMMTIMEOUTS*;

struct COMSTAT {
    DWORD fCtsHold : 1;  // transmission waits for CTS
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;  // transmission waits after receiving XOFF
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue;   // bytes received and not yet read
    DWORD cbOutQue;  // bytes not yet sent
};
using LPCOMSTAT = COMSTAT*;

constexpr DWORD CBR_110 = 110;
constexpr DWORD CBR_300 = 300;
constexpr DWORD CBR_1200 = 1200;
constexpr DWORD CBR_2400 = 2400;
constexpr DWORD CBR_4800 = 4800;
constexpr DWORD CBR_9600 = 9600;
constexpr DWORD CBR_19200 = 19200;
constexpr DWORD CBR_38400 = 38400;
constexpr DWORD CBR_57600 = 57600;
constexpr DWORD CBR_115200 = 115200;

constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;

constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;

constexpr DWORD DTR_CONTROL_DISABLE = 0;
constexpr DWORD DTR_CONTROL_ENABLE = 1;
constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;
constexpr DWORD RTS_CONTROL_DISABLE = 0;
constexpr DWORD RTS_CONTROL_ENABLE = 1;
constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
constexpr DWORD RTS_CONTROL_TOGGLE = 3;

// Event mask bits (SetCommMask).
constexpr DWORD EV_RXCHAR = 0x0001;
constexpr DWORD EV_RXFLAG = 0x0002;
constexpr DWORD EV_TXEMPTY = 0x0004;
constexpr DWORD EV_CTS = 0x0008;
constexpr DWORD EV_DSR = 0x0010;
constexpr DWORD EV_RLSD = 0x0020;
constexpr DWORD EV_BREAK = 0x0040;
constexpr DWORD EV_ERR = 0x0080;
constexpr DWORD EV_RING = 0x0100;
constexpr DWORD EV_PERR = 0x0200;
constexpr DWORD EV_RX80FULL = 0x0400;
constexpr DWORD EV_EVENT1 = 0x0800;
constexpr DWORD EV_EVENT2 = 0x1000;

constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

// EscapeCommFunction codes.
constexpr DWORD SETXOFF = 1;
constexpr DWORD SETXON = 2;
constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;
constexpr DWORD SETDTR = 5;
constexpr DWORD CLRDTR = 6;
constexpr DWORD SETBREAK = 8;
constexpr DWORD CLRBREAK = 9;

// GetCommModemStatus bits.
constexpr DWORD MS_CTS_ON = 0x0010;
constexpr DWORD MS_DSR_ON = 0x0020;
constexpr DWORD MS_RING_ON = 0x0040;
constexpr DWORD MS_RLSD_ON = 0x0080;

// ClearCommError bits.
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;
constexpr DWORD CE_TXFULL = 0x0100;
constexpr DWORD CE_MODE = 0x8000;

// Every call returns TRUE on success; FALSE with GetLastError on failure:
// ERROR_INVALID_HANDLE for a handle that is no serial port,
// ERROR_INVALID_PARAMETER for a null pointer or a value the port refuses.

// *modemStat gets the MS_*_ON bits of the lines that are on.
BOOL GetCommModemStatus(HANDLE file, LPDWORD modemStat);
BOOL SetCommMask(HANDLE file, DWORD evtMask);
BOOL GetCommMask(HANDLE file, LPDWORD evtMask);
// Sizes of the driver's input and output queues in bytes (not 0).
BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue);
// PURGE_* flags; aborted reads and writes end with ERROR_OPERATION_ABORTED.
BOOL PurgeComm(HANDLE file, DWORD flags);
BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts);
BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts);
// *dcb gets the port's current settings, DCBlength set.
BOOL GetCommState(HANDLE file, LPDCB dcb);
// Applies all settings or none; refuses a byte size outside 5..8, an unknown
// parity or stop-bit code, baud 0, or equal XON and XOFF characters with XON/XOFF on.
BOOL SetCommState(HANDLE file, LPDCB dcb);
// SETDTR, CLRDTR, SETRTS, CLRRTS, SETXON, SETXOFF, SETBREAK, CLRBREAK.
BOOL EscapeCommFunction(HANDLE file, DWORD func);
// Reports and clears the CE_* errors since the last call; stat (optional)
// gets the queue counts and hold flags.
BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT stat);

#endif  // _WIN32
