#include <cctype>
#include <cstring>

#include "platform/serial/comm_port.h"

using platform::serial::CCommPort;

namespace platform::serial {

unsigned ParsePortName(const char* name) {
    if (!name) return 0;
    bool device = std::strncmp(name, "\\\\.\\", 4) == 0;
    if (device) name += 4;
    size_t length = std::strlen(name);
    if (!device && length > 0 && name[length - 1] == ':') --length;  // "COM1:" names the device too
    if (length < 4 || std::toupper(name[0]) != 'C' || std::toupper(name[1]) != 'O' ||
        std::toupper(name[2]) != 'M' || name[3] == '0')
        return 0;
    unsigned n = 0;
    for (size_t i = 3; i < length; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
        n = n * 10 + static_cast<unsigned>(name[i] - '0');
        if (n > 255) return 0;
    }
    return n;
}

DCB DefaultDcb() {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = CBR_9600;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

bool ValidDcb(const DCB& dcb) {
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS)
        return false;
    // A UART sends 1.5 stop bits only with 5 data bits, and 2 only with more.
    if (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5) return false;
    if (dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5) return false;
    if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar) return false;
    return true;
}

bool ValidTimeouts(const COMMTIMEOUTS& t) {
    constexpr DWORD kMax = 0xFFFFFFFF;
    return !(t.ReadIntervalTimeout == kMax && t.ReadTotalTimeoutMultiplier == kMax &&
             t.ReadTotalTimeoutConstant == kMax);
}

BOOL CheckEscape(const DCB& dcb, DWORD func) {
    bool ok = true;
    switch (func) {
    case SETDTR:
    case CLRDTR: ok = dcb.fDtrControl != DTR_CONTROL_HANDSHAKE; break;
    case SETRTS:
    case CLRRTS: ok = dcb.fRtsControl != RTS_CONTROL_HANDSHAKE && dcb.fRtsControl != RTS_CONTROL_TOGGLE; break;
    case SETXON:
    case SETXOFF:
    case SETBREAK:
    case CLRBREAK: break;
    default: ok = false;
    }
    if (!ok) SetLastError(ERROR_INVALID_PARAMETER);
    return ok ? TRUE : FALSE;
}

bool DtrRaisedBy(const DCB& dcb) { return dcb.fDtrControl != DTR_CONTROL_DISABLE; }
bool RtsRaisedBy(const DCB& dcb) { return dcb.fRtsControl != RTS_CONTROL_DISABLE; }

CReadPlan PlanRead(const COMMTIMEOUTS& t, DWORD size, sched::Millis start) {
    constexpr DWORD kMax = 0xFFFFFFFF;
    CReadPlan plan{false, false, sched::kForever, t.ReadIntervalTimeout};
    if (t.ReadIntervalTimeout == kMax && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) {
        plan.bAtOnce = true;
        return plan;
    }
    if (t.ReadIntervalTimeout == kMax && t.ReadTotalTimeoutMultiplier == kMax) {
        plan.bFirstByte = true;
        plan.nEnd = start + t.ReadTotalTimeoutConstant;
        plan.nInterval = 0;
        return plan;
    }
    sched::Millis total = sched::Millis{t.ReadTotalTimeoutMultiplier} * size + t.ReadTotalTimeoutConstant;
    if (total != 0) plan.nEnd = start + total;
    return plan;
}

sched::Millis ReadDeadline(const CReadPlan& plan, DWORD got, sched::Millis lastByte) {
    sched::Millis end = plan.nEnd;
    if (got > 0 && plan.nInterval != 0 && lastByte + plan.nInterval < end) end = lastByte + plan.nInterval;
    return end;
}

sched::Millis WriteDeadline(const COMMTIMEOUTS& t, DWORD size, sched::Millis start) {
    sched::Millis total = sched::Millis{t.WriteTotalTimeoutMultiplier} * size + t.WriteTotalTimeoutConstant;
    return total == 0 ? sched::kForever : start + total;
}

BOOL CheckBuffer(const void* buffer, DWORD size) {
    if (buffer || size == 0) return TRUE;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL FinishNow(OVERLAPPED* ov, DWORD error, DWORD count, DWORD* done) {
    if (ov) {
        StartOverlapped(ov);
        CompleteOverlapped(ov, error, count);
    }
    *done = count;
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

}  // namespace platform::serial

namespace {

std::shared_ptr<CCommPort> PortOf(HANDLE file) {
    auto port = platform::FindHandleAs<CCommPort>(file);
    if (!port) SetLastError(ERROR_INVALID_HANDLE);
    return port;
}

BOOL Refuse() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

}  // namespace

BOOL GetCommModemStatus(HANDLE file, LPDWORD modemStat) {
    auto port = PortOf(file);
    if (!port) return FALSE;
    if (!modemStat) return Refuse();
    return port->GetModemStatus(modemStat);
}

BOOL SetCommMask(HANDLE file, DWORD evtMask) {
    auto port = PortOf(file);
    return port ? port->SetMask(evtMask) : FALSE;
}

BOOL GetCommMask(HANDLE file, LPDWORD evtMask) {
    auto port = PortOf(file);
    if (!port) return FALSE;
    if (!evtMask) return Refuse();
    return port->GetMask(evtMask);
}

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
    auto port = PortOf(file);
    if (!port) return FALSE;
    if (inQueue == 0 || outQueue == 0) return Refuse();
    return port->Setup(inQueue, outQueue);
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
    auto port = PortOf(file);
    if (!port) return FALSE;
    if (flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) return Refuse();
    return port->Purge(flags);
}

BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    auto port = PortOf(file);
    if (!port) return FALSE;
    if (!timeouts || !platform::serial::ValidTimeouts(*timeouts)) return Refuse();
    return port->SetTimeouts(*timeouts);
}

BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    auto port = PortOf(file);
    if (!port) return FALSE;
    if (!timeouts) return Refuse();
    return port->GetTimeouts(timeouts);
}

BOOL GetCommState(HANDLE file, LPDCB dcb) {
    auto port = PortOf(file);
    if (!port) return FALSE;
    if (!dcb) return Refuse();
    return port->GetState(dcb);
}

BOOL SetCommState(HANDLE file, LPDCB dcb) {
    auto port = PortOf(file);
    if (!port) return FALSE;
    if (!dcb || !platform::serial::ValidDcb(*dcb)) return Refuse();
    return port->SetState(*dcb);
}

BOOL EscapeCommFunction(HANDLE file, DWORD func) {
    auto port = PortOf(file);
    return port ? port->Escape(func) : FALSE;
}

BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT stat) {
    auto port = PortOf(file);
    if (!port) return FALSE;
    DWORD ignored = 0;
    COMSTAT ignoredStat{};
    return port->ClearError(errors ? errors : &ignored, stat ? stat : &ignoredStat);
}
