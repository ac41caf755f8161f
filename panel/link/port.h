// The serial connection to the cutter: the connection record, opening with the
// device check, line setup, the reader thread, overlapped reads and writes,
// and the hand-over of one complete reply to the window that asked for them.
#pragma once

#include <atomic>

#include "platform/base/win_base.h"
#include "platform/mfc/cstring.h"
#include "platform/serial/win_comm.h"

struct PortInfo {
    HANDLE hPort;
    BYTE nPortNumber;
    BOOL bOpen;  // read by the reader thread, written by the dialog thread
    BYTE nByteSize;
    BYTE nHandshake;  // bit 0 DTR/DSR, bit 1 RTS/CTS, bit 2 XON/XOFF
    BYTE nParity;
    BYTE nStopBits;
    DWORD nBaudRate;
    HANDLE hReader;
    DWORD nReaderId;  // 0 when no reader runs; cleared by the reader as it ends
    OVERLAPPED writeOverlap;
    OVERLAPPED readOverlap;
    LONG nTestWidthMm;
    LONG nTestHeightMm;
};

constexpr DWORD PORT_QUEUE_SIZE = 4096;
constexpr DWORD READ_CHUNK = 80;
// A device counts as attached (and online) when any of these modem lines is on.
constexpr DWORD ANY_MODEM_LINE = MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON;
// The receive buffer keeps at most this much text; a device that never sends
// ';' loses its oldest text instead of growing the buffer without bound.
constexpr int RX_BUFFER_LIMIT = 65536;

extern CString g_strRx;
extern CRITICAL_SECTION g_rxLock;
extern std::atomic<BOOL> g_bDataArrived;
extern std::atomic<BOOL> g_bStopReader;
extern std::atomic<BOOL> g_bReaderRunning;
// The window the reader tells of each complete reply (WM_COMMAND 1061, no
// control handle), handed over by its owner; NULL tells nobody.
extern std::atomic<HWND> g_hReplyWnd;

// Non-zero when the port is open, the line set and the reader running; 0
// otherwise (after telling the user why, except for a failed line setup or
// thread start).
BOOL OpenPort(PortInfo* port);
// The result of SetCommState.
BOOL ConfigureLine(PortInfo* port);
// Always 1.
BOOL ClosePort(PortInfo* port);
// Asks a running reader to end and waits for its acknowledgement.
void StopReader();
DWORD WINAPI ReaderThreadProc(LPVOID param);
// Bytes read from what is already queued: 0 when nothing was queued or on error.
DWORD ReadAvailable(PortInfo* port, char* buffer, DWORD maximum);
// 1 when the text was handed to the port, 0 when the write failed at once.
BOOL WritePort(PortInfo* port, const char* text);
// The oldest complete reply (through its ';'), removed from g_strRx; empty if none.
CString TakeReply();

// Cross-thread words of the record are read and written whole.
inline BOOL PortIsOpen(PortInfo* port) { return std::atomic_ref<BOOL>(port->bOpen).load(); }
inline void SetPortOpen(PortInfo* port, BOOL open) { std::atomic_ref<BOOL>(port->bOpen).store(open); }
