#include "platform/serial/rfc2217_port.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/serial/comm_port.h"
#include "platform/serial/host_port.h"
#include "platform/serial/telnet_codec.h"

namespace {

using namespace platform;
using namespace platform::serial;
using namespace platform::telnet;
using namespace platform::rfc2217;
using sched::Millis;

std::atomic<unsigned> g_nConnectMs{3000};
constexpr Millis NEGOTIATE_MS = 300;     // an open waits this long for the peer to agree and report its lines
constexpr Millis WAIT_SLICE_MS = 20;     // a blocked read or write notices aborts this often
constexpr std::size_t MAX_INBOX = 65536;  // beyond this the socket's own window holds the peer back
constexpr std::size_t OUT_PIECE = 65536;  // data a write queues ahead of the socket

static_assert(CP_MODEM_CTS == MS_CTS_ON && CP_MODEM_DSR == MS_DSR_ON && CP_MODEM_RI == MS_RING_ON &&
                  CP_MODEM_DCD == MS_RLSD_ON,
              "modem-state bits are the MS_*_ON bits");

void Explain(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Explain(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "%s\n", line);
}

// One step of waiting for the socket, at most a slice; on a lost connection
// (nothing to wait for but time) and on the virtual clock a wait of that clock.
void AwaitSocket(int fd, short events, Millis end, bool bLost) {
    Millis now = sched::Now();
    if (now >= end) return;
    if (sched::IsVirtual() || bLost) {
        pollfd p{fd, events, 0};
        if (!bLost && poll(&p, 1, 0) > 0) return;
        std::unique_lock<std::mutex> lk(sched::Lock());
        static const std::function<bool()> never = [] { return false; };
        sched::WaitLocked(lk, never, std::min(end, now + (sched::IsVirtual() ? 10 : WAIT_SLICE_MS)));
        return;
    }
    pollfd p{fd, events, 0};
    poll(&p, 1, static_cast<int>(std::min(end - now, WAIT_SLICE_MS)));
}

class CNetworkPort : public CHostPort {
public:
    explicit CNetworkPort(int fd) : m_fd(fd), m_options({OPT_BINARY, OPT_SGA, OPT_COM_PORT}), m_dcb(DefaultDcb()) {}
    ~CNetworkPort() override { close(m_fd); }

    // Asks for binary data and COM-port control, hands over the start
    // settings once the peer agrees, and waits a moment for its modem lines.
    // False when the peer closed the connection meanwhile.
    bool Start();

    BOOL GetModemStatus(DWORD* status) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        PumpLocked();
        *status = m_bLost ? 0 : m_dwModem;
        return TRUE;
    }
    BOOL Purge(DWORD flags) override {
        if (!Usable()) return FALSE;
        if (flags & PURGE_RXABORT) ++m_nReadAborts;
        if (flags & PURGE_TXABORT) ++m_nWriteAborts;
        std::lock_guard<std::mutex> lk(m_lock);
        PumpLocked();
        if (flags & PURGE_RXCLEAR) m_strIn.clear();
        bool rx = flags & PURGE_RXCLEAR, tx = flags & PURGE_TXCLEAR;
        if (!rx && !tx) return TRUE;
        return RequestLocked(ComPortCommand(CPC_PURGE_DATA, rx && tx ? CP_PURGE_BOTH : rx ? CP_PURGE_RECEIVE
                                                                                         : CP_PURGE_TRANSMIT));
    }
    BOOL GetState(DCB* dcb) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        *dcb = m_dcb;
        return TRUE;
    }
    BOOL SetState(const DCB& dcb) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        if (!RequestLocked(LineRequests(dcb))) return FALSE;
        m_dcb = dcb;
        m_dcb.DCBlength = sizeof(DCB);
        return TRUE;
    }
    BOOL Escape(DWORD func) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        if (!CheckEscape(m_dcb, func)) return FALSE;
        return RequestLocked(EscapeRequest(func));
    }
    BOOL ClearError(DWORD* errors, COMSTAT* stat) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        PumpLocked();
        *stat = COMSTAT{};
        stat->cbInQue = static_cast<DWORD>(m_strIn.size());
        stat->cbOutQue = static_cast<DWORD>(m_strOut.size());
        stat->fCtsHold = m_dcb.fOutxCtsFlow && !(m_dwModem & MS_CTS_ON);
        *errors = 0;
        return TRUE;
    }

    BOOL Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) override;
    BOOL Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) override;
    void OnClose() override {
        MarkClosed();
        shutdown(m_fd, SHUT_RDWR);  // the peer learns at once; the descriptor lives as long as the object
    }

private:
    static BOOL NotConnected() {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
    // Sends a COM-port command, when the peer took the option; FALSE once the connection is lost.
    BOOL RequestLocked(const std::string& command) {
        PumpLocked();
        if (m_bLost) return NotConnected();
        if (m_options.LocalOn(OPT_COM_PORT)) QueueLocked(command);
        FlushLocked();
        return m_bLost ? NotConnected() : TRUE;
    }
    void QueueLocked(const std::string& bytes) {
        m_strOut += bytes;
        m_nQueued += bytes.size();
    }
    // Takes in whatever the socket holds, then sends what waits.
    void PumpLocked();
    void TakeLocked(std::string_view bytes);
    void FlushLocked();
    void LoseLocked() {
        m_bLost = true;
        m_dwModem = 0;
        m_strOut.clear();
    }
    // Moves up to room received bytes to out; *lost tells whether more can come.
    DWORD TakeIn(char* out, DWORD room, bool* lost) {
        std::lock_guard<std::mutex> lk(m_lock);
        PumpLocked();
        DWORD n = static_cast<DWORD>(std::min<std::size_t>(room, m_strIn.size()));
        std::memcpy(out, m_strIn.data(), n);
        m_strIn.erase(0, n);
        *lost = m_bLost;
        return n;
    }
    // Data bytes of a write (those queued so far) whose wire form the socket
    // took; cuts the rest from the queue when nothing was queued after it.
    DWORD WithdrawLocked(std::string_view data, std::uint64_t nStart, std::uint64_t nEnd);

    int m_fd;
    bool m_bLost = false;
    CTelnetParser m_parser;
    CTelnetOptions m_options;
    std::string m_strIn;         // data received, not yet read
    std::string m_strOut;        // wire bytes the socket has not taken yet
    std::uint64_t m_nQueued = 0;  // wire bytes ever queued
    std::uint64_t m_nSent = 0;    // of them taken by the socket
    bool m_bModemKnown = false;
    DWORD m_dwModem = 0;
    DCB m_dcb;
};

void CNetworkPort::PumpLocked() {
    char chunk[4096];
    while (!m_bLost && m_strIn.size() < MAX_INBOX) {
        ssize_t n = recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            TakeLocked(std::string_view(chunk, static_cast<std::size_t>(n)));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) LoseLocked();
        break;
    }
    FlushLocked();
}

void CNetworkPort::TakeLocked(std::string_view bytes) {
    for (const CTelnetEvent& event : m_parser.Feed(bytes)) {
        switch (event.eKind) {
        case CTelnetEvent::Kind::Data: m_strIn += event.strBytes; break;
        case CTelnetEvent::Kind::Negotiation: QueueLocked(m_options.Receive(event.nVerb, event.nOption)); break;
        case CTelnetEvent::Kind::Subnegotiation:
            if (event.nOption == OPT_COM_PORT && event.strBytes.size() == 2 &&
                static_cast<unsigned char>(event.strBytes[0]) == CPC_SERVER + CPC_NOTIFY_MODEMSTATE) {
                m_dwModem = static_cast<unsigned char>(event.strBytes[1]) & CP_MODEM_LINES;
                m_bModemKnown = true;
            }
            break;  // the answers to our own requests change nothing here
        }
    }
}

void CNetworkPort::FlushLocked() {
    while (!m_bLost && !m_strOut.empty()) {
        ssize_t n = send(m_fd, m_strOut.data(), m_strOut.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            m_strOut.erase(0, static_cast<std::size_t>(n));
            m_nSent += static_cast<std::uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        LoseLocked();
    }
}

bool CNetworkPort::Start() {
    Millis end = sched::Now() + NEGOTIATE_MS;
    bool settingsSent = false;
    std::unique_lock<std::mutex> lk(m_lock);
    QueueLocked(m_options.RequestLocal(OPT_BINARY));
    QueueLocked(m_options.RequestRemote(OPT_BINARY));
    QueueLocked(m_options.RequestLocal(OPT_COM_PORT));
    for (;;) {
        PumpLocked();
        if (m_bLost) return false;
        if (!settingsSent && m_options.LocalOn(OPT_COM_PORT)) {
            QueueLocked(LineRequests(m_dcb));
            QueueLocked(ComPortCommand(CPC_SET_LINESTATE_MASK, 0));
            QueueLocked(ComPortCommand(CPC_SET_MODEMSTATE_MASK, CP_MODEM_LINES));
            FlushLocked();
            settingsSent = true;
        }
        if (m_bModemKnown || m_options.Refused(OPT_COM_PORT) || sched::Now() >= end) return true;
        lk.unlock();
        AwaitSocket(m_fd, POLLIN, end, false);
        lk.lock();
    }
}

BOOL CNetworkPort::Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) {
    if (!Usable() || !CheckBuffer(buffer, size)) return FALSE;
    char* out = static_cast<char*>(buffer);
    Millis lastByte = sched::Now();
    CReadPlan plan = PlanRead(Timeouts(), size, lastByte);
    unsigned aborts = m_nReadAborts;
    DWORD got = 0;
    DWORD error = ERROR_SUCCESS;
    while (got < size) {
        bool lost = false;
        if (DWORD n = TakeIn(out + got, size - got, &lost)) {
            got += n;
            lastByte = sched::Now();
            continue;
        }
        if (plan.bAtOnce || (plan.bFirstByte && got > 0)) break;
        Millis end = ReadDeadline(plan, got, lastByte);
        if (sched::Now() >= end) break;
        AwaitSocket(m_fd, POLLIN, end, lost);
        if (m_nReadAborts != aborts) {
            error = m_bClosed ? ERROR_INVALID_HANDLE : ERROR_OPERATION_ABORTED;
            break;
        }
    }
    return FinishNow(ov, error, got, done);
}

DWORD CNetworkPort::WithdrawLocked(std::string_view data, std::uint64_t nStart, std::uint64_t nEnd) {
    std::uint64_t taken = m_nSent > nStart ? m_nSent - nStart : 0;
    std::uint64_t wire = 0;
    DWORD count = 0;
    for (char c : data) {
        if (wire >= taken) break;
        wire += static_cast<unsigned char>(c) == IAC ? 2 : 1;  // half an IAC pair out: the other half must follow
        ++count;
    }
    if (nEnd != m_nQueued) return static_cast<DWORD>(data.size());  // others queued behind: what is queued goes
    std::uint64_t keep = nStart + wire - m_nSent;
    m_strOut.resize(static_cast<std::size_t>(keep));
    m_nQueued = nStart + wire;
    return count;
}

BOOL CNetworkPort::Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) {
    if (!Usable() || !CheckBuffer(buffer, size)) return FALSE;
    std::string_view data(static_cast<const char*>(buffer), size);
    Millis end = WriteDeadline(Timeouts(), size, sched::Now());
    unsigned aborts = m_nWriteAborts;
    std::unique_lock<std::mutex> lk(m_lock);
    PumpLocked();
    if (m_bLost) {
        lk.unlock();
        return FinishNow(ov, ERROR_DEVICE_NOT_CONNECTED, 0, done);
    }
    std::uint64_t start = m_nQueued;
    std::uint64_t finish = start;
    std::size_t queued = 0;  // data bytes handed to the queue so far
    DWORD error = ERROR_SUCCESS;
    DWORD sent = size;
    for (;;) {
        // A piece at a time, so that the queue stays short and a time-out has little to take back.
        while (queued < data.size() && m_strOut.size() < OUT_PIECE) {
            std::size_t piece = std::min(data.size() - queued, OUT_PIECE);
            QueueLocked(EscapeData(data.substr(queued, piece)));
            queued += piece;
            finish = m_nQueued;
        }
        FlushLocked();
        if (m_bLost) {
            error = ERROR_DEVICE_NOT_CONNECTED;
            sent = 0;
            break;
        }
        if (queued == data.size() && m_nSent >= finish) break;
        if (sched::Now() >= end || m_nWriteAborts != aborts) {
            sent = WithdrawLocked(data.substr(0, queued), start, finish);  // time-out: the count tells how much went
            if (m_nWriteAborts != aborts) error = m_bClosed ? ERROR_INVALID_HANDLE : ERROR_OPERATION_ABORTED;
            break;
        }
        lk.unlock();
        AwaitSocket(m_fd, POLLOUT, end, false);
        lk.lock();
    }
    lk.unlock();
    return FinishNow(ov, error, sent, done);
}

bool Digits(const std::string& text) {
    return !text.empty() && text.size() <= 5 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A connected socket, or -1 after explaining why not.
int Connect(unsigned nPort, const std::string& strLink, const NetworkAddress& address, DWORD* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const char* host = address.strHost.c_str();
    const char* port = address.strPort.c_str();
    if (int rc = getaddrinfo(host, port, &hints, &found); rc != 0) {
        Explain("COM%u: no such host: %s (named by %s): %s", nPort, host, strLink.c_str(), gai_strerror(rc));
        *error = ERROR_FILE_NOT_FOUND;
        return -1;
    }
    Millis end = sched::Now() + g_nConnectMs.load();
    int lastError = ETIMEDOUT;
    int fd = -1;
    for (addrinfo* ai = found; ai && fd < 0; ai = ai->ai_next) {
        int s = socket(ai->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (s < 0) {
            lastError = errno;
            continue;
        }
        int rc = connect(s, ai->ai_addr, ai->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd p{s, POLLOUT, 0};
            while (sched::Now() < end && poll(&p, 1, 0) == 0) AwaitSocket(s, POLLOUT, end, false);
            int soError = ETIMEDOUT;
            socklen_t len = sizeof soError;
            if (poll(&p, 1, 0) > 0) getsockopt(s, SOL_SOCKET, SO_ERROR, &soError, &len);
            rc = soError == 0 ? 0 : -1;
            errno = soError;
        }
        if (rc == 0) {
            fd = s;
            break;
        }
        lastError = errno;
        close(s);
        if (lastError == ETIMEDOUT) break;  // the time is spent; further addresses would not get any
    }
    freeaddrinfo(found);
    if (fd >= 0) {
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // commands are short and wait for replies
        return fd;
    }
    *error = ERROR_FILE_NOT_FOUND;
    if (lastError == ECONNREFUSED) {
        Explain("COM%u: connection refused by %s port %s (named by %s): is the network serial server running?",
                nPort, host, port, strLink.c_str());
    } else if (lastError == ETIMEDOUT) {
        Explain("COM%u: connection to %s port %s timed out after %u ms (named by %s): is the host up and the port open?",
                nPort, host, port, g_nConnectMs.load(), strLink.c_str());
        *error = ERROR_TIMEOUT;
    } else {
        Explain("COM%u: cannot connect to %s port %s (named by %s): %s", nPort, host, port, strLink.c_str(),
                std::strerror(lastError));
    }
    return -1;
}

}  // namespace

namespace platform::rfc2217 {

bool ParseNetworkLink(const std::string& text, NetworkAddress* address) {
    static const std::string SCHEME = "rfc2217://";
    if (text.compare(0, SCHEME.size(), SCHEME) != 0) return false;
    std::string rest = text.substr(SCHEME.size());
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    std::string host, port;
    if (!rest.empty() && rest.front() == '[') {
        std::size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') return false;
        host = rest.substr(1, close - 1);
        port = rest.substr(close + 2);
    } else {
        std::size_t colon = rest.find(':');
        if (colon == std::string::npos || rest.find(':', colon + 1) != std::string::npos) return false;
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
    }
    if (host.empty() || host.find_first_of("/ \t[]") != std::string::npos || !Digits(port)) return false;
    unsigned long number = std::stoul(port);
    if (number < 1 || number > 65535) return false;
    *address = {host, std::to_string(number)};
    return true;
}

void OpenNetworkPort(unsigned nPort, const std::string& strLink, const NetworkAddress& address, HANDLE* result) {
    *result = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_SUCCESS;
    int fd = Connect(nPort, strLink, address, &error);
    if (fd < 0) {
        SetLastError(error);
        return;
    }
    auto port = std::make_shared<CNetworkPort>(fd);
    if (!port->Start()) {
        Explain("COM%u: %s port %s closed the connection at once (named by %s): is another program using it?", nPort,
                address.strHost.c_str(), address.strPort.c_str(), strLink.c_str());
        SetLastError(ERROR_FILE_NOT_FOUND);
        return;
    }
    *result = AddHandle(port);
}

std::string LineRequests(const DCB& dcb) {
    static const unsigned char PARITY[] = {CP_PARITY_NONE, CP_PARITY_ODD, CP_PARITY_EVEN, CP_PARITY_MARK,
                                           CP_PARITY_SPACE};
    static const unsigned char STOP[] = {CP_STOP_1, CP_STOP_15, CP_STOP_2};
    std::string out = ComPortCommand(CPC_SET_BAUDRATE, BigEndian32(dcb.BaudRate));
    out += ComPortCommand(CPC_SET_DATASIZE, dcb.ByteSize);
    out += ComPortCommand(CPC_SET_PARITY, PARITY[std::min<unsigned>(dcb.Parity, 4)]);
    out += ComPortCommand(CPC_SET_STOPSIZE, STOP[std::min<unsigned>(dcb.StopBits, 2)]);
    unsigned char outFlow = dcb.fOutxCtsFlow ? CP_FLOW_HARDWARE : dcb.fOutX ? CP_FLOW_XONXOFF : CP_FLOW_NONE;
    unsigned char inFlow = dcb.fRtsControl == RTS_CONTROL_HANDSHAKE ? CP_INFLOW_HARDWARE
                           : dcb.fInX                               ? CP_INFLOW_XONXOFF
                                                                    : CP_INFLOW_NONE;
    out += ComPortCommand(CPC_SET_CONTROL, outFlow);
    out += ComPortCommand(CPC_SET_CONTROL, inFlow);
    if (dcb.fDtrControl != DTR_CONTROL_HANDSHAKE)
        out += ComPortCommand(CPC_SET_CONTROL, DtrRaisedBy(dcb) ? CP_DTR_ON : CP_DTR_OFF);
    if (dcb.fRtsControl != RTS_CONTROL_HANDSHAKE)
        out += ComPortCommand(CPC_SET_CONTROL, RtsRaisedBy(dcb) ? CP_RTS_ON : CP_RTS_OFF);
    return out;
}

std::string EscapeRequest(DWORD func) {
    switch (func) {
    case SETDTR: return ComPortCommand(CPC_SET_CONTROL, CP_DTR_ON);
    case CLRDTR: return ComPortCommand(CPC_SET_CONTROL, CP_DTR_OFF);
    case SETRTS: return ComPortCommand(CPC_SET_CONTROL, CP_RTS_ON);
    case CLRRTS: return ComPortCommand(CPC_SET_CONTROL, CP_RTS_OFF);
    case SETBREAK: return ComPortCommand(CPC_SET_CONTROL, CP_BREAK_ON);
    case CLRBREAK: return ComPortCommand(CPC_SET_CONTROL, CP_BREAK_OFF);
    default: return "";
    }
}

namespace test {
void SetConnectTimeout(unsigned nMs) { g_nConnectMs.store(nMs); }
}  // namespace test

}  // namespace platform::rfc2217
