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
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/base/devices.h"
#include "platform/base/prefix.h"
#include "platform/serial/comm_port.h"

namespace {

using namespace platform;
using namespace platform::serial;
using sched::Millis;
namespace fs = std::filesystem;

std::mutex g_configLock;
std::string g_strDevRoot = "/dev";
std::string g_strSysTtyRoot = "/sys/class/tty";
std::atomic<int> g_nFailOpenErrno{0};
int g_nOpener = 0;

constexpr Millis WAIT_SLICE_MS = 50;  // a blocked read or write notices aborts this often

struct BaudEntry {
    DWORD dwBaud;
    speed_t speed;
};
const BaudEntry BAUDS[] = {{110, B110},         {300, B300},         {600, B600},         {1200, B1200},
                           {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},
                           {38400, B38400},     {57600, B57600},     {115200, B115200},   {230400, B230400},
                           {460800, B460800},   {500000, B500000},   {576000, B576000},   {921600, B921600},
                           {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000}};

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

bool EncodeTermios(const DCB& dcb, termios* tio) {
    auto baud = std::find_if(std::begin(BAUDS), std::end(BAUDS),
                             [&](const BaudEntry& b) { return b.dwBaud == dcb.BaudRate; });
    if (baud == std::end(BAUDS)) return false;
    cfsetispeed(tio, baud->speed);
    cfsetospeed(tio, baud->speed);
    static const tcflag_t SIZES[] = {CS5, CS6, CS7, CS8};
    tio->c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio->c_cflag |= SIZES[dcb.ByteSize - 5] | CLOCAL | CREAD | HUPCL;
    switch (dcb.Parity) {
    case ODDPARITY: tio->c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: tio->c_cflag |= PARENB; break;
    case MARKPARITY: tio->c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: tio->c_cflag |= PARENB | CMSPAR; break;
    }
    if (dcb.StopBits != ONESTOPBIT) tio->c_cflag |= CSTOPB;  // 1.5 with 5 bits, 2 otherwise
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) tio->c_cflag |= CRTSCTS;
    tio->c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    if (dcb.fParity) tio->c_iflag |= INPCK;
    if (dcb.fOutX) tio->c_iflag |= IXON;
    if (dcb.fInX) tio->c_iflag |= IXOFF;
    tio->c_oflag &= ~OPOST;
    tio->c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio->c_cc[VMIN] = 0;
    tio->c_cc[VTIME] = 0;
    tio->c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    tio->c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    return true;
}

// What the device holds, over the fields termios has no place for.
DCB DecodeTermios(const termios& tio, DCB dcb) {
    speed_t speed = cfgetospeed(&tio);
    for (const auto& b : BAUDS)
        if (b.speed == speed) dcb.BaudRate = b.dwBaud;
    switch (tio.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8;
    }
    if (!(tio.c_cflag & PARENB))
        dcb.Parity = NOPARITY;
    else if (tio.c_cflag & CMSPAR)
        dcb.Parity = (tio.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else
        dcb.Parity = (tio.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    dcb.StopBits = !(tio.c_cflag & CSTOPB) ? ONESTOPBIT : dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    bool rtscts = tio.c_cflag & CRTSCTS;
    dcb.fOutxCtsFlow = rtscts;
    if (rtscts)
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    else if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fParity = (tio.c_iflag & INPCK) != 0;
    dcb.fOutX = (tio.c_iflag & IXON) != 0;
    dcb.fInX = (tio.c_iflag & IXOFF) != 0;
    dcb.XonChar = static_cast<char>(tio.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    dcb.fBinary = 1;
    dcb.DCBlength = sizeof(DCB);
    return dcb;
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

class CPosixPort : public CCommPort {
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
    BOOL SetMask(DWORD mask) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        m_dwMask = mask;
        return TRUE;
    }
    BOOL GetMask(DWORD* mask) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        *mask = m_dwMask;
        return TRUE;
    }
    // The kernel sizes its own queues; there is nothing to change.
    BOOL Setup(DWORD, DWORD) override { return Usable(); }
    BOOL Purge(DWORD flags) override {
        if (!Usable()) return FALSE;
        if (flags & PURGE_RXABORT) ++m_nReadAborts;
        if (flags & PURGE_TXABORT) ++m_nWriteAborts;
        if ((flags & PURGE_TXCLEAR) && tcflush(m_fd, TCOFLUSH) != 0) return Fail(errno);
        if ((flags & PURGE_RXCLEAR) && tcflush(m_fd, TCIFLUSH) != 0) return Fail(errno);
        return TRUE;
    }
    BOOL SetTimeouts(const COMMTIMEOUTS& timeouts) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        m_timeouts = timeouts;
        return TRUE;
    }
    BOOL GetTimeouts(COMMTIMEOUTS* timeouts) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        *timeouts = m_timeouts;
        return TRUE;
    }
    BOOL GetState(DCB* dcb) override {
        if (!Usable()) return FALSE;
        termios tio{};
        if (tcgetattr(m_fd, &tio) != 0) return Fail(errno);
        std::lock_guard<std::mutex> lk(m_lock);
        *dcb = DecodeTermios(tio, m_dcb);
        return TRUE;
    }
    BOOL SetState(const DCB& dcb) override {
        if (!Usable()) return FALSE;
        termios tio{};
        if (tcgetattr(m_fd, &tio) != 0) return Fail(errno);
        if (!EncodeTermios(dcb, &tio)) return Fail(EINVAL);
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
        m_bClosed = true;
        ++m_nReadAborts;
        ++m_nWriteAborts;
    }

private:
    BOOL Usable() {
        if (!m_bClosed) return TRUE;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
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
    COMMTIMEOUTS Timeouts() {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_timeouts;
    }

    int m_fd;
    std::atomic<bool> m_bClosed{false};
    std::atomic<unsigned> m_nReadAborts{0};
    std::atomic<unsigned> m_nWriteAborts{0};
    std::mutex m_lock;  // guards the members below; never held across a wait
    DCB m_dcb;
    COMMTIMEOUTS m_timeouts{};
    DWORD m_dwMask = 0;
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

std::string DosDevices() { return PrefixRoot() + "/dosdevices"; }

// n of a "comN" entry name, or 0.
unsigned ComNumber(const std::string& entry) {
    if (entry.size() < 4 || entry.compare(0, 3, "com") != 0) return 0;
    return ParsePortName(("COM" + entry.substr(3)).c_str());
}

// n of "<stem>N", or -1.
long DeviceNumber(const std::string& name, const std::string& stem) {
    if (name.size() <= stem.size() || name.compare(0, stem.size(), stem) != 0) return -1;
    std::string digits = name.substr(stem.size());
    if (digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), ::isdigit)) return -1;
    return std::stol(digits);
}

// A 16550-style port node exists for every possible UART; sysfs says whether
// one is fitted (type 0: none).
bool UartFitted(const std::string& sysTty, const std::string& name) {
    std::ifstream type(sysTty + "/" + name + "/type");
    int value = -1;
    return !(type >> value) || value != 0;
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
    std::string link = DosDevices() + "/com" + std::to_string(n);
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
    DCB dcb = DecodeTermios(tio, DefaultDcb());
    EncodeTermios(dcb, &tio);  // raw bytes: no echo, no line editing, no character mapping
    tcsetattr(fd, TCSANOW, &tio);
    *result = AddHandle(std::make_shared<CPosixPort>(fd, dcb));
    return true;
}

std::vector<std::string> ListPorts() {
    platform::posix_serial::MapDevices();
    std::vector<unsigned> numbers;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(DosDevices(), ec)) {
        unsigned n = ComNumber(entry.path().filename().string());
        if (n && fs::exists(entry.path(), ec)) numbers.push_back(n);
    }
    std::sort(numbers.begin(), numbers.end());
    std::vector<std::string> names;
    for (unsigned n : numbers) names.push_back("COM" + std::to_string(n) + ":");
    return names;
}

}  // namespace

namespace platform::posix_serial {

int MapDevices() {
    std::string folder = DosDevices();
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (ComNumber(entry.path().filename().string())) return 0;
    std::string dev, sysTty;
    {
        std::lock_guard<std::mutex> lk(g_configLock);
        dev = g_strDevRoot;
        sysTty = g_strSysTtyRoot;
    }
    std::vector<std::string> found;
    for (const char* stem : {"ttyS", "ttyUSB", "ttyACM"}) {
        std::vector<std::pair<long, std::string>> group;
        for (const auto& entry : fs::directory_iterator(dev, ec)) {
            std::string name = entry.path().filename().string();
            long number = DeviceNumber(name, stem);
            if (number < 0 || (std::strcmp(stem, "ttyS") == 0 && !UartFitted(sysTty, name))) continue;
            group.emplace_back(number, entry.path().string());
        }
        std::sort(group.begin(), group.end());
        for (auto& g : group) found.push_back(g.second);
    }
    int made = 0;
    for (size_t i = 0; i < found.size() && i < 255; ++i) {
        fs::create_symlink(found[i], folder + "/com" + std::to_string(i + 1), ec);
        if (!ec) ++made;
    }
    return made;
}

void Install() {
    Uninstall();
    g_nOpener = AddDeviceOpener(OpenPosixPort);
    SetPortLister(ListPorts);
}

void Uninstall() {
    if (!g_nOpener) return;
    RemoveDeviceOpener(g_nOpener);
    g_nOpener = 0;
    SetPortLister(nullptr);
}

namespace test {
void SetDeviceRoots(const std::string& dev, const std::string& sysTty) {
    std::lock_guard<std::mutex> lk(g_configLock);
    g_strDevRoot = dev;
    g_strSysTtyRoot = sysTty;
}
void FailNextOpen(int errnoValue) { g_nFailOpenErrno.store(errnoValue); }
}  // namespace test

}  // namespace platform::posix_serial
