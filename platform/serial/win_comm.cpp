#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/base/diagnosis.h"
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

void CCommPort::NoteModemLines(DWORD lines) {
    if (lines & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON)) {
        m_nQuietChecks = 0;
        diagnosis::Clear();
        return;
    }
    unsigned checks = ++m_nQuietChecks;
    char text[400];
    std::snprintf(text, sizeof text,
                  "COM%u opened, but no modem line (CTS, DSR, RI, DCD) came up in %u check%s: the device is "
                  "switched off, or the cable or adapter carries no handshake lines (a three-wire cable, a "
                  "pseudo-terminal, ser2net in front of one)",
                  m_nNumber, checks, checks == 1 ? "" : "s");
    diagnosis::Set(text);
}

void ExplainFailedOpen(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "%s\n", line);
    diagnosis::Set(line);
}

bool DtrRaisedBy(const DCB& dcb) { return dcb.fDtrControl != DTR_CONTROL_DISABLE; }
bool RtsRaisedBy(const DCB& dcb) { return dcb.fRtsControl != RTS_CONTROL_DISABLE; }

CReadProgress::CReadProgress(const COMMTIMEOUTS& t, DWORD size, sched::Millis start)
    : m_nSize(size), m_nInterval(t.ReadIntervalTimeout), m_nLastByte(start) {
    constexpr DWORD kMax = 0xFFFFFFFF;
    if (t.ReadIntervalTimeout == kMax && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) {
        m_bAtOnce = true;
        return;
    }
    if (t.ReadIntervalTimeout == kMax && t.ReadTotalTimeoutMultiplier == kMax) {
        m_bFirstByte = true;
        m_nEnd = start + t.ReadTotalTimeoutConstant;
        m_nInterval = 0;
        return;
    }
    sched::Millis total = sched::Millis{t.ReadTotalTimeoutMultiplier} * size + t.ReadTotalTimeoutConstant;
    if (total != 0) m_nEnd = start + total;
}

void CReadProgress::Took(DWORD count, sched::Millis now) {
    if (count == 0) return;  // the gap since the last byte goes on
    m_nGot += count;
    m_nLastByte = now;
}

bool CReadProgress::Done() const { return m_nGot == m_nSize || m_bAtOnce || (m_bFirstByte && m_nGot > 0); }

sched::Millis CReadProgress::Deadline() const {
    sched::Millis end = m_nEnd;
    if (m_nGot > 0 && m_nInterval != 0 && m_nLastByte + m_nInterval < end) end = m_nLastByte + m_nInterval;
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
    if (!port->GetModemStatus(modemStat)) return FALSE;
    port->NoteModemLines(*modemStat);
    return TRUE;
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
