// Portable core behind the serial faces, for the backends of platform/ only:
// the port object every backend derives from, the rules a DCB and a time-out
// block must meet, how time-outs turn into deadlines, and the port names
// CreateFileA and EnumPortsA deal in.
#pragma once

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

// How long a read of size bytes may take, from time-outs and the start time.
struct CReadPlan {
    bool bAtOnce;        // return what is queued without waiting
    bool bFirstByte;     // wait only for a first byte, then return what is queued
    sched::Millis nEnd;  // total deadline (kForever: none)
    DWORD nInterval;     // longest gap between bytes once one came (0: none)
};
CReadPlan PlanRead(const COMMTIMEOUTS& timeouts, DWORD size, sched::Millis start);
// When the read, holding got bytes the last of which came at lastByte, ends.
sched::Millis ReadDeadline(const CReadPlan& plan, DWORD got, sched::Millis lastByte);
// Total deadline of a write of size bytes (kForever: none).
sched::Millis WriteDeadline(const COMMTIMEOUTS& timeouts, DWORD size, sched::Millis start);

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
