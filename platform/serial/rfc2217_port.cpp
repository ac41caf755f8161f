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
#include <cstring>
#include <mutex>
#include <set>

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
// The ports open in this program: a serial port has one user at a time, and
// a second connection would make a server that lets only one in drop the first.
std::mutex g_openLock;
std::set<unsigned> g_openPorts;

constexpr Millis NEGOTIATE_MS = 300;     // an open waits this long for the peer to agree and report its lines
constexpr std::size_t MAX_INBOX = 65536;  // beyond this the socket's own window holds the peer back
constexpr std::size_t OUT_PIECE = 65536;  // data a write queues ahead of the socket

static_assert(CP_MODEM_CTS == MS_CTS_ON && CP_MODEM_DSR == MS_DSR_ON && CP_MODEM_RI == MS_RING_ON &&
                  CP_MODEM_DCD == MS_RLSD_ON,
              "modem-state bits are the MS_*_ON bits");

class CNetworkPort : public CHostPort {
public:
    CNetworkPort(unsigned nPort, int fd)
        : CHostPort(nPort), m_fd(fd), m_options({OPT_BINARY, OPT_SGA, OPT_COM_PORT}), m_dcb(DefaultDcb()) {}
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

    void OnClose() override {
        MarkClosed();
        shutdown(m_fd, SHUT_RDWR);  // the peer learns at once; the descriptor lives as long as the object
        std::lock_guard<std::mutex> lk(g_openLock);
        g_openPorts.erase(Number());
    }

protected:
    // Once the connection is lost nothing arrives: reads end at their time-out.
    DWORD TakeArrived(char* out, DWORD room, DWORD*) override {
        std::lock_guard<std::mutex> lk(m_lock);
        PumpLocked();
        DWORD n = static_cast<DWORD>(std::min<std::size_t>(room, m_strIn.size()));
        std::memcpy(out, m_strIn.data(), n);
        m_strIn.erase(0, n);
        return n;
    }
    DWORD Hand(std::string_view bytes, COutgoing* outgoing, DWORD* error) override;
    bool Gone(const COutgoing& outgoing) override {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_nSent >= outgoing.nEnd;
    }
    DWORD Withdraw(std::string_view handed, const COutgoing& outgoing) override;
    int WaitDescriptor() override {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_bLost ? -1 : m_fd;
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
        AwaitDescriptor(m_fd, POLLIN, end);
        lk.lock();
    }
}

// One piece at a time, so that the queue stays short, a time-out has little
// to take back, and the loop looks at the clock between pieces.
DWORD CNetworkPort::Hand(std::string_view bytes, COutgoing* outgoing, DWORD* error) {
    std::lock_guard<std::mutex> lk(m_lock);
    PumpLocked();
    if (!outgoing->bBegun) {
        outgoing->bBegun = true;
        outgoing->nStart = outgoing->nEnd = m_nQueued;
    }
    DWORD queued = 0;
    if (!m_bLost && !bytes.empty() && m_strOut.size() < OUT_PIECE) {
        queued = static_cast<DWORD>(std::min(bytes.size(), OUT_PIECE));
        QueueLocked(EscapeData(bytes.substr(0, queued)));
        outgoing->nEnd = m_nQueued;
        FlushLocked();
    }
    if (m_bLost) *error = ERROR_DEVICE_NOT_CONNECTED;
    return queued;
}

// Data bytes whose wire form the socket took count as written; the rest
// leaves the queue, unless others queued after it (then all of it goes).
DWORD CNetworkPort::Withdraw(std::string_view handed, const COutgoing& outgoing) {
    std::lock_guard<std::mutex> lk(m_lock);
    if (m_bLost) return 0;  // what reached the peer is unknown
    std::uint64_t taken = m_nSent > outgoing.nStart ? m_nSent - outgoing.nStart : 0;
    std::uint64_t wire = 0;
    DWORD count = 0;
    for (char c : handed) {
        if (wire >= taken) break;
        wire += static_cast<unsigned char>(c) == IAC ? 2 : 1;  // half an IAC pair out: the other half must follow
        ++count;
    }
    if (outgoing.nEnd != m_nQueued) return static_cast<DWORD>(handed.size());
    std::uint64_t keep = outgoing.nStart + wire - m_nSent;
    m_strOut.resize(static_cast<std::size_t>(keep));
    m_nQueued = outgoing.nStart + wire;
    return count;
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
        ExplainFailedOpen("COM%u: no such host: %s (named by %s): %s", nPort, host, strLink.c_str(), gai_strerror(rc));
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
            while (sched::Now() < end && poll(&p, 1, 0) == 0) AwaitDescriptor(s, POLLOUT, end);
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
        ExplainFailedOpen("COM%u: connection refused by %s port %s (named by %s): is the network serial server "
                          "running?",
                          nPort, host, port, strLink.c_str());
    } else if (lastError == ETIMEDOUT) {
        ExplainFailedOpen("COM%u: connection to %s port %s timed out after %u ms (named by %s): is the host up and "
                          "the port open?",
                          nPort, host, port, g_nConnectMs.load(), strLink.c_str());
        *error = ERROR_TIMEOUT;
    } else {
        ExplainFailedOpen("COM%u: cannot connect to %s port %s (named by %s): %s", nPort, host, port, strLink.c_str(),
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
    {
        std::lock_guard<std::mutex> lk(g_openLock);
        if (!g_openPorts.insert(nPort).second) {
            ExplainFailedOpen("COM%u: already open in this program (named by %s); close it first", nPort,
                              strLink.c_str());
            SetLastError(ERROR_ACCESS_DENIED);
            return;
        }
    }
    DWORD error = ERROR_FILE_NOT_FOUND;
    if (int fd = Connect(nPort, strLink, address, &error); fd >= 0) {
        auto port = std::make_shared<CNetworkPort>(nPort, fd);
        if (port->Start()) {
            *result = AddHandle(port);
            return;
        }
        ExplainFailedOpen("COM%u: %s port %s closed the connection at once (named by %s): is another program using it?",
                          nPort, address.strHost.c_str(), address.strPort.c_str(), strLink.c_str());
    }
    std::lock_guard<std::mutex> lk(g_openLock);
    g_openPorts.erase(nPort);
    SetLastError(error);
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
