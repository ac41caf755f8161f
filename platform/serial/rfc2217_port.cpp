#include "platform/serial/rfc2217_port.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "platform/serial/comm_port.h"
#include "platform/serial/host_port.h"
#include "platform/serial/socket_connect.h"
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
constexpr Millis RETRY_MS = 1000;        // reconnect attempts begin at most this often
constexpr Millis RECONNECT_MS = 1000;    // and each gives up after this long (or the open's time-out, if shorter)
constexpr std::size_t MAX_INBOX = 65536;  // beyond this the socket's own window holds the peer back
constexpr std::size_t OUT_PIECE = 65536;  // data a write queues ahead of the socket

static_assert(CP_MODEM_CTS == MS_CTS_ON && CP_MODEM_DSR == MS_DSR_ON && CP_MODEM_RI == MS_RING_ON &&
                  CP_MODEM_DCD == MS_RLSD_ON,
              "modem-state bits are the MS_*_ON bits");

CTelnetOptions FreshOptions() { return CTelnetOptions({OPT_BINARY, OPT_SGA, OPT_COM_PORT}); }

// The handle outlives its connection, as a serial port's handle outlives a
// pulled cable: after a loss the port connects again by itself, driven by
// the calls made on it (never a thread of its own, never a blocking wait),
// and hands the new connection everything the session had set.
class CNetworkPort : public CHostPort {
public:
    CNetworkPort(unsigned nPort, std::vector<SocketAddress> aAddresses)
        : CHostPort(nPort), m_aAddresses(std::move(aAddresses)), m_options(FreshOptions()), m_dcb(DefaultDcb()) {}
    ~CNetworkPort() override {
        if (m_fd >= 0) close(m_fd);
    }

    // Takes the connected socket, asks for binary data and COM-port control
    // (the start settings go once the peer agrees) and waits a moment for
    // its modem lines. False when the peer closed the connection meanwhile.
    bool Start(int fd);

    BOOL GetModemStatus(DWORD* status) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        PumpLocked();
        *status = m_dwModem;
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
        if (rx || tx)
            SendLocked(ComPortCommand(CPC_PURGE_DATA, rx && tx ? CP_PURGE_BOTH : rx ? CP_PURGE_RECEIVE
                                                                                  : CP_PURGE_TRANSMIT));
        return TRUE;
    }
    BOOL GetState(DCB* dcb) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        *dcb = m_dcb;
        return TRUE;
    }
    // Line changes are kept while the connection is down, and go with the next one.
    BOOL SetState(const DCB& dcb) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        m_dcb = dcb;
        m_dcb.DCBlength = sizeof(DCB);
        m_bDtr = DtrRaisedBy(dcb);
        m_bRts = RtsRaisedBy(dcb);
        SendLocked(LineRequests(dcb));
        return TRUE;
    }
    BOOL Escape(DWORD func) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        if (!CheckEscape(m_dcb, func)) return FALSE;
        if (func == SETDTR || func == CLRDTR) m_bDtr = func == SETDTR;
        if (func == SETRTS || func == CLRRTS) m_bRts = func == SETRTS;
        if (func == SETBREAK || func == CLRBREAK) m_bBreak = func == SETBREAK;
        SendLocked(EscapeRequest(func));
        return TRUE;
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
        MarkClosed();  // before the lock: a call under way then starts no attempt
        {
            std::lock_guard<std::mutex> lk(m_lock);
            m_attempt.Abandon();
            // The peer learns at once; the descriptor lives as long as the object.
            if (m_fd >= 0) shutdown(m_fd, SHUT_RDWR);
            m_eLink = Link::Lost;
        }
        std::lock_guard<std::mutex> lk(g_openLock);
        g_openPorts.erase(Number());
    }

protected:
    // While the connection is down nothing arrives: reads end at their time-out.
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
        return outgoing.nConnection == m_nConnection && m_nSent >= outgoing.nEnd;
    }
    DWORD Withdraw(std::string_view handed, const COutgoing& outgoing) override;
    int WaitDescriptor() override {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_eLink == Link::Up || m_eLink == Link::Negotiating ? m_fd : -1;
    }

private:
    // Up: data flows. Negotiating: connected, waiting for the peer to agree
    // to COM-port control. Connecting: an attempt is under way. Lost: none is.
    enum class Link { Up, Negotiating, Connecting, Lost };

    // Sends a COM-port command when the connection has COM-port control; a
    // connection that gets it later is handed the whole session instead.
    void SendLocked(const std::string& command) {
        PumpLocked();
        if ((m_eLink == Link::Up || m_eLink == Link::Negotiating) && m_options.LocalOn(OPT_COM_PORT))
            QueueLocked(command);
        FlushLocked();
    }
    void QueueLocked(const std::string& bytes) {
        m_strOut += bytes;
        m_nQueued += bytes.size();
    }
    // Moves the connection on: a reconnect attempt when one is due, what the
    // socket holds taken in, what waits sent.
    void PumpLocked();
    void ReconnectLocked();
    void BeginConnectionLocked(int fd);
    std::string SessionRequestsLocked() const;
    void TakeLocked(std::string_view bytes);
    void FlushLocked();
    void LoseLocked() {
        m_eLink = Link::Lost;
        m_dwModem = 0;
        m_strOut.clear();
        m_nQueued = m_nSent;
    }

    const std::vector<SocketAddress> m_aAddresses;  // resolved at the open: a reconnect never waits for a name server
    int m_fd = -1;                                  // the latest connection's socket
    Link m_eLink = Link::Lost;
    std::uint64_t m_nConnection = 0;  // counts connections, so that a write knows whether its own is gone
    CConnectAttempt m_attempt;
    Millis m_nNextAttempt = 0;
    Millis m_nNegotiateEnd = 0;
    CTelnetParser m_parser;
    CTelnetOptions m_options;
    std::string m_strIn;          // data received, not yet read
    std::string m_strOut;         // wire bytes the socket has not taken yet
    std::uint64_t m_nQueued = 0;  // wire bytes ever queued
    std::uint64_t m_nSent = 0;    // of them taken by the socket
    bool m_bModemKnown = false;
    DWORD m_dwModem = 0;
    // The session: what every new connection is handed.
    DCB m_dcb;
    bool m_bDtr = true, m_bRts = true, m_bBreak = false;
};

void CNetworkPort::PumpLocked() {
    if (m_bClosed) return;
    if (m_eLink == Link::Lost || m_eLink == Link::Connecting) ReconnectLocked();
    char chunk[4096];
    while ((m_eLink == Link::Up || m_eLink == Link::Negotiating) && m_strIn.size() < MAX_INBOX) {
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
    if (m_eLink == Link::Negotiating &&
        (m_options.LocalOn(OPT_COM_PORT) || m_options.Refused(OPT_COM_PORT) || sched::Now() >= m_nNegotiateEnd))
        m_eLink = Link::Up;  // a peer silent about options gets the data as it is
}

void CNetworkPort::ReconnectLocked() {
    if (m_eLink == Link::Lost) {
        Millis now = sched::Now();
        if (now < m_nNextAttempt) return;
        m_nNextAttempt = now + RETRY_MS;
        m_attempt.Begin(m_aAddresses, now + std::min<Millis>(RECONNECT_MS, g_nConnectMs.load()));
        m_eLink = Link::Connecting;
    }
    switch (m_attempt.Step()) {
    case CConnectAttempt::State::Connected: BeginConnectionLocked(m_attempt.TakeSocket()); break;
    case CConnectAttempt::State::Pending: break;
    default:
        m_attempt.Abandon();
        m_eLink = Link::Lost;
    }
}

void CNetworkPort::BeginConnectionLocked(int fd) {
    if (m_fd >= 0) close(m_fd);  // the lost connection's
    m_fd = fd;
    ++m_nConnection;
    m_eLink = Link::Negotiating;
    m_nNegotiateEnd = sched::Now() + NEGOTIATE_MS;
    m_parser = CTelnetParser();
    m_options = FreshOptions();
    m_bModemKnown = false;
    m_dwModem = 0;
    QueueLocked(m_options.RequestLocal(OPT_BINARY));
    QueueLocked(m_options.RequestRemote(OPT_BINARY));
    QueueLocked(m_options.RequestLocal(OPT_COM_PORT));
}

// The line as the session left it (DTR, RTS and break as last set), and the
// notifications we want.
std::string CNetworkPort::SessionRequestsLocked() const {
    DCB lines = m_dcb;
    if (lines.fDtrControl != DTR_CONTROL_HANDSHAKE)
        lines.fDtrControl = m_bDtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    if (lines.fRtsControl != RTS_CONTROL_HANDSHAKE && lines.fRtsControl != RTS_CONTROL_TOGGLE)
        lines.fRtsControl = m_bRts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    std::string out = LineRequests(lines);
    if (m_bBreak) out += EscapeRequest(SETBREAK);
    out += ComPortCommand(CPC_SET_LINESTATE_MASK, 0);
    out += ComPortCommand(CPC_SET_MODEMSTATE_MASK, CP_MODEM_LINES);
    return out;
}

void CNetworkPort::TakeLocked(std::string_view bytes) {
    for (const CTelnetEvent& event : m_parser.Feed(bytes)) {
        switch (event.eKind) {
        case CTelnetEvent::Kind::Data: m_strIn += event.strBytes; break;
        case CTelnetEvent::Kind::Negotiation: {
            bool control = m_options.LocalOn(OPT_COM_PORT);
            QueueLocked(m_options.Receive(event.nVerb, event.nOption));
            if (!control && m_options.LocalOn(OPT_COM_PORT)) QueueLocked(SessionRequestsLocked());
            break;
        }
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
    while ((m_eLink == Link::Up || m_eLink == Link::Negotiating) && !m_strOut.empty()) {
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

bool CNetworkPort::Start(int fd) {
    std::unique_lock<std::mutex> lk(m_lock);
    BeginConnectionLocked(fd);
    Millis end = m_nNegotiateEnd;
    for (;;) {
        PumpLocked();
        if (m_eLink == Link::Lost) return false;
        if (m_bModemKnown || m_options.Refused(OPT_COM_PORT) || sched::Now() >= end) return true;
        lk.unlock();
        AwaitDescriptor(fd, POLLIN, end);
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
        outgoing->nConnection = m_nConnection;
        outgoing->nStart = outgoing->nEnd = m_nQueued;
    }
    if (m_eLink != Link::Up || outgoing->nConnection != m_nConnection) {
        *error = ERROR_DEVICE_NOT_CONNECTED;
        return 0;
    }
    DWORD queued = 0;
    if (!bytes.empty() && m_strOut.size() < OUT_PIECE) {
        queued = static_cast<DWORD>(std::min(bytes.size(), OUT_PIECE));
        QueueLocked(EscapeData(bytes.substr(0, queued)));
        outgoing->nEnd = m_nQueued;
        FlushLocked();
    }
    if (m_eLink != Link::Up) *error = ERROR_DEVICE_NOT_CONNECTED;
    return queued;
}

// Data bytes whose wire form the socket took count as written; the rest
// leaves the queue, unless others queued after it (then all of it goes).
DWORD CNetworkPort::Withdraw(std::string_view handed, const COutgoing& outgoing) {
    std::lock_guard<std::mutex> lk(m_lock);
    if (m_eLink != Link::Up || outgoing.nConnection != m_nConnection) return 0;  // what reached the peer is unknown
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

// A connected socket, or -1 after explaining why not.
int Connect(unsigned nPort, const std::string& strLink, const NetworkAddress& address,
            std::vector<SocketAddress>* addresses, DWORD* error) {
    const char* host = address.strHost.c_str();
    const char* port = address.strPort.c_str();
    *error = ERROR_FILE_NOT_FOUND;
    if (int rc = ResolveAddresses(address.strHost, address.strPort, addresses); rc != 0) {
        ExplainFailedOpen("COM%u: no such host: %s (named by %s): %s", nPort, host, strLink.c_str(), gai_strerror(rc));
        return -1;
    }
    Millis end = sched::Now() + g_nConnectMs.load();
    CConnectAttempt attempt;
    attempt.Begin(*addresses, end);
    CConnectAttempt::State state;
    while ((state = attempt.Step()) == CConnectAttempt::State::Pending)
        AwaitDescriptor(attempt.PendingSocket(), POLLOUT, end);
    if (state == CConnectAttempt::State::Connected) return attempt.TakeSocket();
    if (attempt.Error() == ECONNREFUSED) {
        ExplainFailedOpen("COM%u: connection refused by %s port %s (named by %s): is the network serial server "
                          "running?",
                          nPort, host, port, strLink.c_str());
    } else if (attempt.Error() == ETIMEDOUT) {
        ExplainFailedOpen("COM%u: connection to %s port %s timed out after %u ms (named by %s): is the host up and "
                          "the port open?",
                          nPort, host, port, g_nConnectMs.load(), strLink.c_str());
        *error = ERROR_TIMEOUT;
    } else {
        ExplainFailedOpen("COM%u: cannot connect to %s port %s (named by %s): %s", nPort, host, port, strLink.c_str(),
                          std::strerror(attempt.Error()));
    }
    return -1;
}

}  // namespace

namespace platform::rfc2217 {

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
    std::vector<SocketAddress> addresses;
    if (int fd = Connect(nPort, strLink, address, &addresses, &error); fd >= 0) {
        auto port = std::make_shared<CNetworkPort>(nPort, std::move(addresses));
        if (port->Start(fd)) {
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

namespace test {
void SetConnectTimeout(unsigned nMs) { g_nConnectMs.store(nMs); }
}  // namespace test

}  // namespace platform::rfc2217
