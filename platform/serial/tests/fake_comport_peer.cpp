#include "fake_comport_peer.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "loopback_listener.h"
#include "platform/serial/telnet_codec.h"

using namespace platform::telnet;

CFakeComPortPeer::CFakeComPortPeer() {
    m_fdListen = ListenOnLoopback(&m_nPort);
    m_thread = std::thread([this] {
        while (!m_bStop) {
            pollfd p{m_fdListen, POLLIN, 0};
            if (poll(&p, 1, 5) <= 0) continue;
            int fd = accept(m_fdListen, nullptr, nullptr);
            if (fd < 0) continue;
            Serve(fd);
            close(fd);
        }
    });
}

CFakeComPortPeer::~CFakeComPortPeer() {
    m_bStop = true;
    m_thread.join();
    close(m_fdListen);
}

void CFakeComPortPeer::Send(const std::string& bytes) {
    std::lock_guard<std::mutex> lk(m_lock);
    m_strToSend += EscapeData(bytes);
}

std::string CFakeComPortPeer::Received() {
    std::lock_guard<std::mutex> lk(m_lock);
    return m_strReceived;
}

void CFakeComPortPeer::Serve(int fd) {
    CTelnetParser parser;
    CTelnetOptions options({OPT_BINARY, OPT_SGA, OPT_COM_PORT});
    std::string out = options.RequestLocal(OPT_BINARY) + options.RequestRemote(OPT_BINARY);
    bool linesSent = false;
    while (!m_bStop) {
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
            ssize_t n = send(fd, out.data(), out.size(), MSG_NOSIGNAL);
            if (n < 0) return;
            out.erase(0, static_cast<size_t>(n));
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1) <= 0) continue;
        char chunk[4096];
        ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return;  // the port closed
        for (const CTelnetEvent& event : parser.Feed(std::string_view(chunk, static_cast<size_t>(n)))) {
            if (event.eKind == CTelnetEvent::Kind::Negotiation) {
                out += options.Receive(event.nVerb, event.nOption);
            } else if (event.eKind == CTelnetEvent::Kind::Data) {
                std::lock_guard<std::mutex> lk(m_lock);
                m_strReceived += event.strBytes;
            }
        }
    }
}
