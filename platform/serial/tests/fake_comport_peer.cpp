#include "fake_comport_peer.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "loopback_listener.h"
#include "platform/serial/telnet_codec.h"

using namespace platform::telnet;

CFakeComPortPeer::CFakeComPortPeer() {
    m_fdListen = ListenOnLoopback(&m_nPort);
    m_thread = std::thread([this] {
        while (!m_bStop) {
            if (m_bAway != (m_fdListen < 0)) {
                if (m_bAway) {
                    close(m_fdListen);
                    m_fdListen = -1;
                } else {
                    int port = m_nPort;
                    m_fdListen = ListenOnLoopback(&port);
                }
                m_bListening = m_fdListen >= 0;
            }
            if (m_fdListen < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            pollfd p{m_fdListen, POLLIN, 0};
            if (poll(&p, 1, 5) <= 0) continue;
            int fd = accept(m_fdListen, nullptr, nullptr);
            if (fd < 0) continue;
            int n = m_nConnections;
            {
                std::lock_guard<std::mutex> lk(m_lock);
                m_aCommands.emplace_back();
            }
            ++m_nConnections;
            if (!m_bHangUp) Serve(fd, n);
            close(fd);
        }
    });
}

CFakeComPortPeer::~CFakeComPortPeer() {
    m_bStop = true;
    m_thread.join();
    if (m_fdListen >= 0) close(m_fdListen);
}

void CFakeComPortPeer::Send(const std::string& bytes) {
    std::lock_guard<std::mutex> lk(m_lock);
    m_strToSend += EscapeData(bytes);
}

std::string CFakeComPortPeer::Received() {
    std::lock_guard<std::mutex> lk(m_lock);
    return m_strReceived;
}

std::string CFakeComPortPeer::Commands(int n) {
    std::lock_guard<std::mutex> lk(m_lock);
    return n < static_cast<int>(m_aCommands.size()) ? m_aCommands[n] : "";
}

void CFakeComPortPeer::GoAway() {
    m_bAway = true;
    AwaitListening(false);
}

void CFakeComPortPeer::ComeBack() {
    m_bAway = false;
    AwaitListening(true);
}

void CFakeComPortPeer::AwaitListening(bool listening) {
    for (int i = 0; i < 2000 && m_bListening != listening; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void CFakeComPortPeer::Serve(int fd, int n) {
    CTelnetParser parser;
    CTelnetOptions options({OPT_BINARY, OPT_SGA, OPT_COM_PORT});
    std::string out = options.RequestLocal(OPT_BINARY) + options.RequestRemote(OPT_BINARY);
    bool linesSent = false;
    while (!m_bStop && !m_bAway) {
        if (!linesSent && options.RemoteOn(OPT_COM_PORT)) {
            out += ComPortCommand(CPC_SERVER + CPC_NOTIFY_MODEMSTATE, LINES);
            linesSent = true;
        }
        {
            std::lock_guard<std::mutex> lk(m_lock);
            out += m_strToSend;
            m_strToSend.clear();
        }
        if (!out.empty()) {
            ssize_t sent = send(fd, out.data(), out.size(), MSG_NOSIGNAL);
            if (sent < 0) return;
            out.erase(0, static_cast<size_t>(sent));
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1) <= 0) continue;
        char chunk[4096];
        ssize_t got = recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0) return;  // the port closed
        for (const CTelnetEvent& event : parser.Feed(std::string_view(chunk, static_cast<size_t>(got)))) {
            std::lock_guard<std::mutex> lk(m_lock);
            if (event.eKind == CTelnetEvent::Kind::Negotiation) {
                out += options.Receive(event.nVerb, event.nOption);
            } else if (event.eKind == CTelnetEvent::Kind::Data) {
                m_strReceived += event.strBytes;
            } else if (event.nOption == OPT_COM_PORT && !event.strBytes.empty()) {
                m_aCommands[n] += ComPortCommand(static_cast<unsigned char>(event.strBytes[0]),
                                                 std::string_view(event.strBytes).substr(1));
            }
        }
    }
}
