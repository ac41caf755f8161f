// Portable core behind the serial faces, for the backends of platform/ only:
// the port object every backend derives from, the rules a DCB and a time-out
// block must meet, how time-outs turn into deadlines, the port names
// CreateFileA and EnumPortsA deal in, and how a port that would not open or
// shows no modem line is explained to a person.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "platform/base/kernel_object.h"
#include "platform/base/scheduler.h"
#include "platform/serial/win_comm.h"

namespace platform::serial {

// One open port. The faces check the handle and the pointers, then call these;
// each returns TRUE, or FALSE after SetLastError.
class CCommPort : public FileObject {
public:
    explicit CCommPort(unsigned nNumber) : m_nNumber(nNumber) {}

    virtual BOOL GetModemStatus(DWORD* status) = 0;
    virtual BOOL SetMask(DWORD mask) = 0;
    virtual BOOL GetMask(DWORD* mask) = 0;
    virtual BOOL Setup(DWORD inQueue, DWORD outQueue) = 0;
    virtual BOOL Purge(DWORD flags) = 0;
    virtual BOOL SetTimeouts(const COMMTIMEOUTS& timeouts) = 0;  // already checked by ValidTimeouts
    virtual BOOL GetTimeouts(COMMTIMEOUTS* timeouts) = 0;
    virtual BOOL GetState(DCB* dcb) = 0;
    virtual BOOL SetState(const DCB& dcb) = 0;  // already checked by ValidDcb
    virtual BOOL Escape(DWORD func) = 0;
    virtual BOOL ClearError(DWORD* errors, COMSTAT* stat) = 0;

    // GetCommModemStatus saw these lines: while none comes up, the calling
    // thread's diagnosis says so, with how many looks found none.
    void NoteModemLines(DWORD lines);
    unsigned Number() const { return m_nNumber; }

private:
    const unsigned m_nNumber;  // n of COMn
    std::atomic<unsigned> m_nQuietChecks{0};
};

// n of "COMn", "COMn:" or "\\.\COMn" (any case, 1..255, no leading zero), or 0 for another name.
unsigned ParsePortName(const char* name);

// The settings a port has before anybody changes them: 9600 baud 8N1, binary,
// DTR and RTS enabled, XON/XOFF characters 0x11/0x13, no flow control.
DCB DefaultDcb();
bool ValidDcb(const DCB& dcb);
bool ValidTimeouts(const COMMTIMEOUTS& timeouts);
// FALSE with ERROR_INVALID_PARAMETER when the DCB hands that line to the
// handshake (SETDTR under DTR_CONTROL_HANDSHAKE and the like) or func is unknown.
BOOL CheckEscape(const DCB& dcb, DWORD func);
// Whether the DCB raises DTR / RTS by itself (enable or handshake).
bool DtrRaisedBy(const DCB& dcb);
bool RtsRaisedBy(const DCB& dcb);

// Where a read of size bytes stands against its time-outs: every backend's
// read loop takes bytes, asks Done(), and otherwise waits until Deadline().
class CReadProgress {
public:
    CReadProgress(const COMMTIMEOUTS& timeouts, DWORD size, sched::Millis start);
    void Took(DWORD count, sched::Millis now);
    DWORD Got() const { return m_nGot; }
    DWORD Room() const { return m_nSize - m_nGot; }
    // Full, or the time-outs say to return what came without waiting for more.
    bool Done() const;
    // When the read ends if nothing more comes (sched::kForever: never).
    sched::Millis Deadline() const;

private:
    DWORD m_nSize;
    DWORD m_nGot = 0;
    bool m_bAtOnce = false;     // return what is queued without waiting
    bool m_bFirstByte = false;  // wait only for a first byte, then return what is queued
    sched::Millis m_nEnd = sched::kForever;  // total deadline
    DWORD m_nInterval;                       // longest gap between bytes once one came (0: none)
    sched::Millis m_nLastByte;
};
// Total deadline of a write of size bytes (kForever: none).
sched::Millis WriteDeadline(const COMMTIMEOUTS& timeouts, DWORD size, sched::Millis start);

// Why an open failed, for a person: one line on standard error, and the
// calling thread's diagnosis, which the next message box shows as its details.
void ExplainFailedOpen(const char* format, ...) __attribute__((format(printf, 1, 2)));

// FALSE with ERROR_INVALID_PARAMETER for a null buffer of non-zero size.
BOOL CheckBuffer(const void* buffer, DWORD size);

// Finishes a read or write within the call: fills the overlapped block when
// there is one, *done, and the result ReadFile and WriteFile return. error
// ERROR_SUCCESS for success.
BOOL FinishNow(OVERLAPPED* ov, DWORD error, DWORD count, DWORD* done);

// The port names ("COM1:") EnumPortsA reports; a backend sets its lister on
// install and clears it (nullptr) on uninstall.
using PortLister = std::function<std::vector<std::string>()>;
void SetPortLister(PortLister lister);

}  // namespace platform::serial
