#include "platform/serial/posix_serial.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "platform/base/devices.h"
#include "platform/base/diagnosis.h"
#include "platform/serial/comm_port.h"
#include "platform/serial/host_port.h"
#include "platform/serial/posix_access.h"
#include "platform/serial/posix_devices.h"
#include "platform/serial/posix_line.h"
#include "platform/serial/rfc2217_port.h"

namespace {

using namespace platform;
using namespace platform::serial;
using namespace platform::posix_serial;
namespace fs = std::filesystem;

std::atomic<int> g_nFailOpenErrno{0};
int g_nOpener = 0;

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

class CPosixPort : public CHostPort {
public:
    CPosixPort(unsigned nPort, int fd, const DCB& dcb) : CHostPort(nPort), m_fd(fd), m_dcb(dcb) {}
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

    void OnClose() override { MarkClosed(); }

protected:
    DWORD TakeArrived(char* out, DWORD room, DWORD* error) override {
        ssize_t n = read(m_fd, out, room);
        if (n > 0) return static_cast<DWORD>(n);
        if (n < 0 && errno != EAGAIN && errno != EINTR) *error = ErrorFromErrno(errno);
        return 0;
    }
    DWORD Hand(std::string_view bytes, COutgoing*, DWORD* error) override {
        if (bytes.empty()) return 0;
        ssize_t n = write(m_fd, bytes.data(), bytes.size());
        if (n > 0) return static_cast<DWORD>(n);
        if (n < 0 && errno != EAGAIN && errno != EINTR) *error = ErrorFromErrno(errno);
        return 0;
    }
    int WaitDescriptor() override { return m_fd; }

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

BOOL OpenFailed(HANDLE* result, DWORD error) {
    *result = INVALID_HANDLE_VALUE;
    SetLastError(error);
    return TRUE;
}

bool OpenPosixPort(const OpenRequest& request, HANDLE* result) {
    unsigned n = ParsePortName(request.name);
    if (n == 0) return false;
    diagnosis::Clear();
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
        ExplainFailedOpen("COM%u: no such device: %s does not exist; make it a symbolic link to the serial device "
                          "(for example ln -s /dev/ttyUSB0 %s)",
                          n, link.c_str(), link.c_str());
        return OpenFailed(result, ERROR_FILE_NOT_FOUND);
    }
    char* resolved = realpath(link.c_str(), nullptr);
    if (!resolved) {
        std::error_code ec;
        std::string target = fs::read_symlink(link, ec).string();
        ExplainFailedOpen("COM%u: no such device: %s points to %s, which does not exist (is the device plugged in?)", n,
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
        DeviceAccess access;
        if ((e == EACCES || e == EPERM) && LookUpAccess(device, &access))
            ExplainFailedOpen("COM%u: permission denied on %s: %s", n, device.c_str(), AccessAdvice(access).c_str());
        else if (e == EBUSY)
            ExplainFailedOpen("COM%u: %s is busy: another program is using it; close that program and try again", n,
                              device.c_str());
        else if (e == ENOENT || e == ENXIO || e == ENODEV)
            ExplainFailedOpen("COM%u: no such device: %s (named by %s) is not there", n, device.c_str(), link.c_str());
        else
            ExplainFailedOpen("COM%u: cannot open %s: %s", n, device.c_str(), std::strerror(e));
        return OpenFailed(result, ErrorFromErrno(e));
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        ExplainFailedOpen("COM%u: %s is busy: another program (or this one) has it open; close it and try again", n,
                          device.c_str());
        return OpenFailed(result, ERROR_ACCESS_DENIED);
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        close(fd);
        ExplainFailedOpen("COM%u: %s is not a serial device; point %s at one", n, device.c_str(), link.c_str());
        return OpenFailed(result, ERROR_FILE_NOT_FOUND);
    }
    ioctl(fd, TIOCEXCL);  // keeps other programs out while it is open
    DCB dcb = TermiosToDcb(tio, DefaultDcb());
    DcbToTermios(dcb, &tio);  // raw bytes: no echo, no line editing, no character mapping
    tcsetattr(fd, TCSANOW, &tio);
    *result = AddHandle(std::make_shared<CPosixPort>(n, fd, dcb));
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
