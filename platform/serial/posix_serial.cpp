#include "platform/serial/posix_serial.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "platform/base/devices.h"
#include "platform/serial/comm_port.h"
#include "platform/serial/host_port.h"
#include "platform/serial/posix_devices.h"
#include "platform/serial/posix_line.h"
#include "platform/serial/rfc2217_port.h"

namespace {

using namespace platform;
using namespace platform::serial;
using namespace platform::posix_serial;
using sched::Millis;
namespace fs = std::filesystem;

std::atomic<int> g_nFailOpenErrno{0};
int g_nOpener = 0;

constexpr Millis WAIT_SLICE_MS = 50;  // a blocked read or write notices aborts this often

DWORD ErrorFromErrno(int e) {
    switch (e) {
    case EACCES:
    case EPERM:
    case EBUSY: return ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENXIO:
    case ENODEV: return ERROR_FILE_NOT_FOUND;
    case EIO: return ERROR_DEVICE_NOT_CONNECTED;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_GEN_FAILURE;
    }
}

bool NoModemLines(int e) { return e == ENOTTY || e == EINVAL; }

// Called once per failed open: the one line a person reads to fix it.
void Explain(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Explain(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "%s\n", line);
}

// One step of waiting for the device: on the virtual clock a 10 ms tick of
// that clock (the device is looked at between ticks), else poll() for at
// most a slice.
void AwaitDevice(int fd, short events, Millis end) {
    Millis now = sched::Now();
    if (now >= end) return;
    if (sched::IsVirtual()) {
        pollfd p{fd, events, 0};
        if (poll(&p, 1, 0) > 0) return;
        std::unique_lock<std::mutex> lk(sched::Lock());
        static const std::function<bool()> never = [] { return false; };
        sched::WaitLocked(lk, never, std::min(end, now + 10));
        return;
    }
    pollfd p{fd, events, 0};
    poll(&p, 1, static_cast<int>(std::min(end - now, WAIT_SLICE_MS)));
}

class CPosixPort : public CHostPort {
public:
    CPosixPort(int fd, const DCB& dcb) : m_fd(fd), m_dcb(dcb) {}
    ~CPosixPort() override {
        ioctl(m_fd, TIOCNXCL);
        close(m_fd);  // also drops the flock
    }

    BOOL GetModemStatus(DWORD* status) override {
        if (!Usable()) return FALSE;
        int bits = 0;
        *status = 0;
        if (ioctl(m_fd, TIOCMGET, &bits) != 0) return NoModemLines(errno) ? TRUE : Fail(errno);
        if (bits & TIOCM_CTS) *status |= MS_CTS_ON;
        if (bits & TIOCM_DSR) *status |= MS_DSR_ON;
        if (bits & TIOCM_RNG) *status |= MS_RING_ON;
        if (bits & TIOCM_CAR) *status |= MS_RLSD_ON;
        return TRUE;
    }
    BOOL Purge(DWORD flags) override {
        if (!Usable()) return FALSE;
        if (flags & PURGE_RXABORT) ++m_nReadAborts;
        if (flags & PURGE_TXABORT) ++m_nWriteAborts;
        if ((flags & PURGE_TXCLEAR) && tcflush(m_fd, TCOFLUSH) != 0) return Fail(errno);
        if ((flags & PURGE_RXCLEAR) && tcflush(m_fd, TCIFLUSH) != 0) return Fail(errno);
        return TRUE;
    }
    BOOL GetState(DCB* dcb) override {
        if (!Usable()) return FALSE;
        termios tio{};
        if (tcgetattr(m_fd, &tio) != 0) return Fail(errno);
        std::lock_guard<std::mutex> lk(m_lock);
        *dcb = TermiosToDcb(tio, m_dcb);
        return TRUE;
    }
    BOOL SetState(const DCB& dcb) override {
        if (!Usable()) return FALSE;
        termios tio{};
        if (tcgetattr(m_fd, &tio) != 0) return Fail(errno);
        if (!DcbToTermios(dcb, &tio)) return Fail(EINVAL);
        if (tcsetattr(m_fd, TCSANOW, &tio) != 0) return Fail(errno);
        if (!SetLine(TIOCM_DTR, DtrRaisedBy(dcb))) return FALSE;
        if (!(tio.c_cflag & CRTSCTS) && !SetLine(TIOCM_RTS, RtsRaisedBy(dcb))) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        m_dcb = dcb;
        m_dcb.DCBlength = sizeof(DCB);
        return TRUE;
    }
    BOOL Escape(DWORD func) override {
        if (!Usable()) return FALSE;
        DCB dcb;
        {
            std::lock_guard<std::mutex> lk(m_lock);
            dcb = m_dcb;
        }
        if (!CheckEscape(dcb, func)) return FALSE;
        switch (func) {
        case SETDTR:
        case CLRDTR: return SetLine(TIOCM_DTR, func == SETDTR);
        case SETRTS:
        case CLRRTS: return SetLine(TIOCM_RTS, func == SETRTS);
        case SETXON: return tcflow(m_fd, TCOON) == 0 ? TRUE : Fail(errno);
        case SETXOFF: return tcflow(m_fd, TCOOFF) == 0 ? TRUE : Fail(errno);
        case SETBREAK: return ioctl(m_fd, TIOCSBRK) == 0 ? TRUE : Fail(errno);
        default: return ioctl(m_fd, TIOCCBRK) == 0 ? TRUE : Fail(errno);
        }
    }
    BOOL ClearError(DWORD* errors, COMSTAT* stat) override {
        if (!Usable()) return FALSE;
        int in = 0, out = 0;
        if (ioctl(m_fd, TIOCINQ, &in) != 0) return Fail(errno);
        if (ioctl(m_fd, TIOCOUTQ, &out) != 0) out = 0;
        *stat = COMSTAT{};
        stat->cbInQue = static_cast<DWORD>(std::max(in, 0));
        stat->cbOutQue = static_cast<DWORD>(std::max(out, 0));
        int bits = 0;
        termios tio{};
        if (tcgetattr(m_fd, &tio) == 0 && (tio.c_cflag & CRTSCTS) && ioctl(m_fd, TIOCMGET, &bits) == 0)
            stat->fCtsHold = !(bits & TIOCM_CTS);
        *errors = CountedErrors();
        return TRUE;
    }

    BOOL Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) override;
    BOOL Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) override;
    void OnClose() override {
        MarkClosed();
    }

private:
    static BOOL Fail(int e) {
        SetLastError(ErrorFromErrno(e));
        return FALSE;
    }
    BOOL SetLine(int line, bool on) {
        if (ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0 || NoModemLines(errno)) return TRUE;
        return Fail(errno);
    }
    // Line errors the UART counted since the last call, as CE_* bits.
    DWORD CountedErrors() {
        serial_icounter_struct now{};
        if (ioctl(m_fd, TIOCGICOUNT, &now) != 0) return 0;
        std::lock_guard<std::mutex> lk(m_lock);
        DWORD errors = 0;
        if (now.frame != m_counts.frame) errors |= CE_FRAME;
        if (now.overrun != m_counts.overrun) errors |= CE_OVERRUN;
        if (now.parity != m_counts.parity) errors |= CE_RXPARITY;
        if (now.brk != m_counts.brk) errors |= CE_BREAK;
        if (now.buf_overrun != m_counts.buf_overrun) errors |= CE_RXOVER;
        m_counts = now;
        return errors;
    }

    int m_fd;
    DCB m_dcb;
    serial_icounter_struct m_counts{};
};

BOOL CPosixPort::Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) {
    if (!Usable() || !CheckBuffer(buffer, size)) return FALSE;
    char* out = static_cast<char*>(buffer);
    Millis lastByte = sched::Now();
    CReadPlan plan = PlanRead(Timeouts(), size, lastByte);
    unsigned aborts = m_nReadAborts;
    DWORD got = 0;
    DWORD error = ERROR_SUCCESS;
    while (got < size) {
        ssize_t n = read(m_fd, out + got, size - got);
        if (n > 0) {
            got += static_cast<DWORD>(n);
            lastByte = sched::Now();
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            error = ErrorFromErrno(errno);
            break;
        }
        if (plan.bAtOnce || (plan.bFirstByte && got > 0)) break;
        Millis end = ReadDeadline(plan, got, lastByte);
        if (sched::Now() >= end) break;
        AwaitDevice(m_fd, POLLIN, end);
        if (m_nReadAborts != aborts) {
            error = m_bClosed ? ERROR_INVALID_HANDLE : ERROR_OPERATION_ABORTED;
            break;
        }
    }
    return FinishNow(ov, error, got, done);
}

BOOL CPosixPort::Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) {
    if (!Usable() || !CheckBuffer(buffer, size)) return FALSE;
    const char* in = static_cast<const char*>(buffer);
    Millis end = WriteDeadline(Timeouts(), size, sched::Now());
    unsigned aborts = m_nWriteAborts;
    DWORD sent = 0;
    DWORD error = ERROR_SUCCESS;
    while (sent < size) {
        ssize_t n = write(m_fd, in + sent, size - sent);
        if (n > 0) {
            sent += static_cast<DWORD>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            error = ErrorFromErrno(errno);
            break;
        }
        if (sched::Now() >= end) break;  // time-out: the count tells how much went
        AwaitDevice(m_fd, POLLOUT, end);
        if (m_nWriteAborts != aborts) {
            error = m_bClosed ? ERROR_INVALID_HANDLE : ERROR_OPERATION_ABORTED;
            break;
        }
    }
    return FinishNow(ov, error, sent, done);
}

BOOL OpenFailed(HANDLE* result, DWORD error) {
    *result = INVALID_HANDLE_VALUE;
    SetLastError(error);
    return TRUE;
}

std::string GroupOf(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0)
        if (group* g = getgrgid(st.st_gid); g && g->gr_gid != 0) return g->gr_name;
    return "dialout";
}

bool OpenPosixPort(const OpenRequest& request, HANDLE* result) {
    unsigned n = ParsePortName(request.name);
    if (n == 0) return false;
    platform::posix_serial::MapDevices();
    std::string link = PortLink(n);
    std::error_code linkError;
    platform::rfc2217::NetworkAddress address;
    if (std::string text = fs::read_symlink(link, linkError).string();
        !linkError && platform::rfc2217::ParseNetworkLink(text, &address)) {
        platform::rfc2217::OpenNetworkPort(n, text, address, result);
        return true;
    }
    struct stat lst {};
    if (lstat(link.c_str(), &lst) != 0) {
        Explain("COM%u: no such device: %s does not exist; make it a symbolic link to the serial device "
                "(for example ln -s /dev/ttyUSB0 %s)",
                n, link.c_str(), link.c_str());
        return OpenFailed(result, ERROR_FILE_NOT_FOUND);
    }
    char* resolved = realpath(link.c_str(), nullptr);
    if (!resolved) {
        std::error_code ec;
        std::string target = fs::read_symlink(link, ec).string();
        Explain("COM%u: no such device: %s points to %s, which does not exist (is the device plugged in?)", n,
                link.c_str(), ec ? "nothing readable" : target.c_str());
        return OpenFailed(result, ERROR_FILE_NOT_FOUND);
    }
    std::string device = resolved;
    std::free(resolved);
    int fd = -1;
    if (int injected = g_nFailOpenErrno.exchange(0))
        errno = injected;
    else
        fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int e = errno;
        if (e == EACCES || e == EPERM)
            Explain("COM%u: permission denied on %s: add your user to the %s group (sudo usermod -aG %s $USER), "
                    "then log out and in again",
                    n, device.c_str(), GroupOf(device).c_str(), GroupOf(device).c_str());
        else if (e == EBUSY)
            Explain("COM%u: %s is busy: another program is using it; close that program and try again", n,
                    device.c_str());
        else if (e == ENOENT || e == ENXIO || e == ENODEV)
            Explain("COM%u: no such device: %s (named by %s) is not there", n, device.c_str(), link.c_str());
        else
            Explain("COM%u: cannot open %s: %s", n, device.c_str(), std::strerror(e));
        return OpenFailed(result, ErrorFromErrno(e));
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        Explain("COM%u: %s is busy: another program (or this one) has it open; close it and try again", n,
                device.c_str());
        return OpenFailed(result, ERROR_ACCESS_DENIED);
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        close(fd);
        Explain("COM%u: %s is not a serial device; point %s at one", n, device.c_str(), link.c_str());
        return OpenFailed(result, ERROR_FILE_NOT_FOUND);
    }
    ioctl(fd, TIOCEXCL);  // keeps other programs out while it is open
    DCB dcb = TermiosToDcb(tio, DefaultDcb());
    DcbToTermios(dcb, &tio);  // raw bytes: no echo, no line editing, no character mapping
    tcsetattr(fd, TCSANOW, &tio);
    *result = AddHandle(std::make_shared<CPosixPort>(fd, dcb));
    return true;
}

}  // namespace

namespace platform::posix_serial {

void Install() {
    Uninstall();
    g_nOpener = AddDeviceOpener(OpenPosixPort);
    SetPortLister(ListMappedPorts);
}

void Uninstall() {
    if (!g_nOpener) return;
    RemoveDeviceOpener(g_nOpener);
    g_nOpener = 0;
    SetPortLister(nullptr);
}

namespace test {
void FailNextOpen(int errnoValue) { g_nFailOpenErrno.store(errnoValue); }
}  // namespace test

}  // namespace platform::posix_serial
