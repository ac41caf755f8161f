// Simulated serial ports for tests and scenario runs. Install() makes CreateFileA
// open "COMn" on simulated ports and EnumPortsA list the configured names.
// Every call may come from any platform thread; all state lives under
// sched::Lock(), so runs on the virtual clock repeat exactly. Observers are
// called on the calling thread with no lock held, so they may call back in
// (a simulated cutter answers a write with InjectReceived).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/base/scheduler.h"
#include "platform/serial/win_comm.h"

namespace platform::sim_serial {

// Lines a present port shows until SetModemLines changes them.
constexpr DWORD LINES_UP = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;

enum class SimPresence {
    LinesUp,  // present, CTS, DSR and RLSD on
    NoLines,  // present, no modem line on (device off or cable loose)
    Missing,  // CreateFileA fails with ERROR_FILE_NOT_FOUND
};

// What a program did to a port, in order.
enum class SimCall {
    Open,
    Close,
    Write,               // strBytes: the bytes written
    SetCommState,        // dcb
    SetCommTimeouts,     // timeouts
    SetCommMask,         // dwArg: the mask
    SetupComm,           // dwArg, dwArg2: input and output queue sizes
    EscapeCommFunction,  // dwArg: SETDTR, CLRDTR, ...
    PurgeComm,           // dwArg: PURGE_* flags
    Lines,               // DTR (dwArg) or RTS (dwArg2) changed, for whatever reason
};

struct SimEvent {
    SimCall eCall;
    sched::Millis nTime;  // platform clock
    std::string strBytes;
    DCB dcb;
    COMMTIMEOUTS timeouts;
    DWORD dwArg;
    DWORD dwArg2;
};

// One line per event for transcripts: "12 SetupComm 4096 4096",
// "15 Write 1B 2E 52 32 3A", "10 SetCommState 9600 8N1 ...", "0 Lines DTR on RTS off".
std::string DescribeEvent(const SimEvent& event);

struct SimObserver {
    std::function<void(int nPort, const std::string& strBytes)> onWrite;
    std::function<void(int nPort)> onOpen;
    std::function<void(int nPort)> onClose;
};

// Starts afresh: port 1 present with lines up, every other port missing,
// EnumPortsA reporting "COM1:", nothing recorded, no observers, no failures.
void Install();
// CreateFileA and EnumPortsA stop seeing simulated ports; open handles fail.
void Uninstall();

// The names EnumPortsA reports, as given ("COM1:", "COM3:").
void SetEnumeratedPorts(const std::vector<std::string>& names);
// Takes effect at the next open; an open port stays open (its lines follow).
void SetPresence(int nPort, SimPresence presence);
// MS_*_ON bits, at any time; the port need not be open.
void SetModemLines(int nPort, DWORD dwLines);

// Bytes the device sends; they reach the input queue after dwDelayMs of the
// platform clock. Returns false (bytes dropped, as a closed port drops them)
// when the port is not open. Beyond the input queue size, bytes wait while
// the DCB has flow control towards the device and are dropped with CE_RXOVER
// otherwise.
bool InjectReceived(int nPort, const std::string& strBytes, DWORD dwDelayMs = 0);
// CE_* errors the next ClearCommError reports; with fAbortOnError, reads and
// writes fail with ERROR_OPERATION_ABORTED until then.
void RaiseLineErrors(int nPort, DWORD dwErrors);

// The nth call (1 = the next) from now of the named call on port nPort fails
// with dwError: "CreateFileA", "ReadFile", "WriteFile", "GetCommModemStatus",
// "SetCommMask", "GetCommMask", "SetupComm", "PurgeComm", "SetCommTimeouts",
// "GetCommTimeouts", "GetCommState", "SetCommState", "EscapeCommFunction",
// "ClearCommError". With bPending an overlapped ReadFile or WriteFile reports
// ERROR_IO_PENDING and GetOverlappedResult gives the error. Returns false for
// an unknown name or nth < 1.
bool FailCall(int nPort, const std::string& strCall, int nNth, DWORD dwError, bool bPending = false);
// Overlapped reads and writes report ERROR_IO_PENDING (their block already
// complete) instead of finishing with TRUE; off after Install.
void SetReportPending(bool bPending);

void SetObserver(int nPort, SimObserver observer);

std::vector<SimEvent> Events(int nPort);
// All bytes written to the port since Install or ClearEvents.
std::string Written(int nPort);
void ClearEvents(int nPort);
// How often the named call reached the port, failed ones included.
int CallCount(int nPort, const std::string& strCall);
bool IsOpen(int nPort);
bool DtrOn(int nPort);
bool RtsOn(int nPort);
// Bytes in the input queue, not yet read.
DWORD Queued(int nPort);

}  // namespace platform::sim_serial
