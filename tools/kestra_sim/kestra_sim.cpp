// kestra-sim: the simulated cutter as a program. It listens on a loopback TCP
// port and serves the cutter over Telnet with COM-port control, so a comN
// link to rfc2217://127.0.0.1:PORT reaches it as a serial port would.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "tools/cutter_sim/cutter_model.h"
#include "tools/cutter_sim/cutter_parser.h"
#include "tools/cutter_sim/sim_cutter.h"
#include "tools/kestra_sim/comport_server.h"
#include "tools/kestra_sim/cut_picture.h"
#include "tools/kestra_sim/sim_options.h"

namespace {

using namespace kestra_sim;
using Millis = long long;

constexpr size_t MAX_UNSENT = 65536;  // wire bytes waiting for a slow client

int g_aWake[2] = {-1, -1};  // a signal writes here; the loop polls it

void OnSignal(int) {
    char c = 1;
    [[maybe_unused]] ssize_t n = write(g_aWake[1], &c, 1);
}

Millis Now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string FormatNumber(double d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", d);
    return text;
}

// ESC.R1: or "PD 100,200;" as it came, for the log.
std::string DescribeCommand(const cutter_sim::CutterCommand& command) {
    std::string text;
    if (command.eKind == cutter_sim::CommandKind::Device) {
        text = "ESC." + command.strName;
        for (double p : command.aParams) text += ";" + FormatNumber(p);
        return text + ":";
    }
    text = command.strName;
    for (size_t i = 0; i < command.aParams.size(); ++i) text += (i ? "," : " ") + FormatNumber(command.aParams[i]);
    return text + ";";
}

// Control bytes of a reply spelled out, so that each log entry stays one line.
std::string Printable(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 32 && c < 127) {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

class CLog {
public:
    explicit CLog(FILE* file) : m_pFile(file) {}
    void Line(const std::string& text) {
        std::fprintf(m_pFile, "%s\n", text.c_str());
        std::fflush(m_pFile);
    }

private:
    FILE* m_pFile;
};

class CSimServer {
public:
    CSimServer(const SimOptions& options, CLog& log) : m_options(options), m_log(log), m_faults(options.faults) {
        for (const auto& [key, value] : options.aSettings) m_model.Configure(key, value);
    }
    ~CSimServer() {
        DropClient(nullptr);
        if (m_nListen >= 0) close(m_nListen);
    }

    // Listens on 127.0.0.1; false after saying why on standard error.
    bool Listen();
    int Port() const { return m_nPort; }
    // Serves until a signal writes to g_aWake.
    void Run();

private:
    struct Reply {
        Millis nDue;  // when its last byte has crossed the line at 9600 baud
        std::string strBytes;
    };

    void Accept();
    void Receive();
    void Hear(const std::string& bytes);
    void SendDue();
    void Flush();
    void DropClient(const char* why);
    // The forced drop of --drop-every, when its time has come.
    void DropIfDue();
    void DrawIfCut();
    unsigned char Lines() const { return m_options.bOff ? 0 : platform::telnet::CP_MODEM_CTS | platform::telnet::CP_MODEM_DSR; }

    const SimOptions& m_options;
    CLog& m_log;
    CFaults m_faults;
    Millis m_nDropAt = 0;  // when the client's connection is forced closed; 0: never
    int m_nListen = -1;
    int m_nPort = 0;
    int m_nClient = -1;
    std::unique_ptr<CComPortServer> m_pServer;
    std::string m_strOut;  // wire bytes the client has not taken yet
    cutter_sim::CCutterParser m_parser;
    cutter_sim::CCutterModel m_model;
    std::deque<Reply> m_aPending;
    Millis m_nHearingUntil = 0;
    Millis m_nSendingUntil = 0;
    size_t m_nDrawnPoints = static_cast<size_t>(-1);
};

bool CSimServer::Listen() {
    m_nListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(m_nListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // a simulator is no service for the network
    addr.sin_port = htons(static_cast<uint16_t>(m_options.nPort));
    if (m_nListen < 0 || bind(m_nListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(m_nListen, 4) != 0) {
        std::fprintf(stderr, "kestra-sim: cannot listen on 127.0.0.1:%d: %s\n", m_options.nPort, std::strerror(errno));
        return false;
    }
    socklen_t len = sizeof addr;
    getsockname(m_nListen, reinterpret_cast<sockaddr*>(&addr), &len);
    m_nPort = ntohs(addr.sin_port);
    DrawIfCut();
    return true;
}

void CSimServer::Run() {
    for (;;) {
        std::vector<pollfd> fds = {{g_aWake[0], POLLIN, 0}, {m_nListen, POLLIN, 0}};
        if (m_nClient >= 0)
            fds.push_back({m_nClient, static_cast<short>(POLLIN | (m_strOut.empty() ? 0 : POLLOUT)), 0});
        int timeout = 1000;
        if (!m_aPending.empty() && !m_pServer->Suspended())
            timeout = static_cast<int>(std::clamp<Millis>(m_aPending.front().nDue - Now(), 0, 1000));
        if (m_nClient >= 0 && m_nDropAt)
            timeout = std::min(timeout, static_cast<int>(std::clamp<Millis>(m_nDropAt - Now(), 0, 1000)));
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
            m_log.Line(std::string("poll failed: ") + std::strerror(errno));
            return;
        }
        if (fds[0].revents) return;
        if (fds[1].revents & POLLIN) Accept();
        if (fds.size() > 2 && m_nClient >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) Receive();
        DropIfDue();
        if (m_nClient >= 0) SendDue();
        if (m_nClient >= 0) Flush();
    }
}

void CSimServer::Accept() {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    int fd = accept4(m_nListen, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    // The newest client wins: one left over from a program that died would otherwise lock the port for good.
    if (m_nClient >= 0) DropClient("replaced by a new connection");
    char address[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &peer.sin_addr, address, sizeof address);
    m_log.Line("connection from " + std::string(address) + ":" + std::to_string(ntohs(peer.sin_port)));
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    m_nClient = fd;
    m_nDropAt = m_faults.DropAfterMs() ? Now() + m_faults.DropAfterMs() : 0;
    m_pServer = std::make_unique<CComPortServer>(Lines());
    m_strOut = m_pServer->Greeting();
    Flush();
}

void CSimServer::Receive() {
    char chunk[4096];
    ssize_t n = recv(m_nClient, chunk, sizeof chunk, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        DropClient(n == 0 ? "connection closed" : std::strerror(errno));
        return;
    }
    if (n < 0) return;
    ServerOutput out = m_pServer->Feed(std::string_view(chunk, static_cast<size_t>(n)));
    m_strOut += out.strToClient;
    for (const ServerAction& action : out.aActions) {
        switch (action.eKind) {
        case ServerAction::Kind::Data: Hear(action.strText); break;
        case ServerAction::Kind::Log: m_log.Line(action.strText); break;
        case ServerAction::Kind::PurgeFromDevice: m_aPending.clear(); break;
        case ServerAction::Kind::PurgeToDevice: m_parser = cutter_sim::CCutterParser(); break;
        }
    }
}

// As on the serial line: the bytes cross one after another at 9600 baud, and
// each reply starts once its command is in, the extra delay is over and the
// previous reply is out.
void CSimServer::Hear(const std::string& bytes) {
    if (m_options.bOff) {
        m_log.Line("off: " + std::to_string(bytes.size()) + " bytes not heard");
        return;
    }
    Millis start = std::max(Now(), m_nHearingUntil);
    m_nHearingUntil = start + static_cast<Millis>(cutter_sim::WireTime(bytes.size()));
    for (const cutter_sim::CutterCommand& command : m_parser.Feed(bytes)) {
        m_log.Line(DescribeCommand(command));
        std::string reply = m_model.Apply(command);
        if (reply.empty()) continue;
        if (m_aPending.size() >= cutter_sim::CSimCutter::MAX_PENDING_REPLIES) {
            m_log.Line("output buffer full: reply dropped");
            continue;
        }
        Millis heard = start + static_cast<Millis>(cutter_sim::WireTime(command.nEnd));
        Millis due = std::max(heard + m_options.nDelayMs + m_faults.NextJitterMs(), m_nSendingUntil) +
                     static_cast<Millis>(cutter_sim::WireTime(reply.size()));
        m_nSendingUntil = due;
        m_aPending.push_back({due, std::move(reply)});
    }
    DrawIfCut();
}

void CSimServer::SendDue() {
    // A client that stops reading holds the replies back; the cutter's own buffer limit then drops new ones.
    while (!m_aPending.empty() && !m_pServer->Suspended() && m_strOut.size() < MAX_UNSENT &&
           m_aPending.front().nDue <= Now()) {
        std::string note;
        std::string reply = m_faults.NextReply(std::move(m_aPending.front().strBytes), &note);
        if (!note.empty()) m_log.Line(note);
        m_log.Line("reply " + Printable(reply));
        m_strOut += CComPortServer::Data(reply);
        m_aPending.pop_front();
    }
}

void CSimServer::Flush() {
    while (!m_strOut.empty()) {
        ssize_t n = send(m_nClient, m_strOut.data(), m_strOut.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            m_strOut.erase(0, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        DropClient(n < 0 ? std::strerror(errno) : "connection closed");
        return;
    }
}

// The cutter stays as it is; what was under way on the line is gone.
void CSimServer::DropClient(const char* why) {
    if (m_nClient < 0) return;
    close(m_nClient);
    m_nClient = -1;
    m_pServer.reset();
    m_strOut.clear();
    m_aPending.clear();
    m_parser = cutter_sim::CCutterParser();
    if (why) m_log.Line(std::string("disconnected: ") + why);
}

void CSimServer::DropIfDue() {
    if (m_nClient < 0 || !m_nDropAt || Now() < m_nDropAt) return;
    std::string why = "dropped after " + std::to_string(m_options.faults.nDropEverySec) + " s (--drop-every)";
    DropClient(why.c_str());
}

void CSimServer::DrawIfCut() {
    if (m_options.strSvg.empty()) return;
    size_t points = m_model.Cuts().size();
    for (const cutter_sim::CutPath& path : m_model.Cuts()) points += path.size();
    if (points == m_nDrawnPoints) return;
    m_nDrawnPoints = points;
    if (!WriteCutPicture(m_model, m_options.strSvg))
        std::fprintf(stderr, "kestra-sim: cannot write %s: %s\n", m_options.strSvg.c_str(), std::strerror(errno));
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    std::string error;
    if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        std::fprintf(stderr, "kestra-sim: %s\n%s", error.c_str(), USAGE);
        return 2;
    }
    if (options.bHelp) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    FILE* logFile = stdout;
    if (!options.strLog.empty() && !(logFile = std::fopen(options.strLog.c_str(), "w"))) {
        std::fprintf(stderr, "kestra-sim: cannot write %s: %s\n", options.strLog.c_str(), std::strerror(errno));
        return 1;
    }
    if (pipe2(g_aWake, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    CLog log(logFile);
    int status = 0;
    {
        CSimServer server(options, log);
        if (server.Listen()) {
            std::printf("kestra-sim: listening on 127.0.0.1:%d\n", server.Port());
            std::fflush(stdout);
            server.Run();
            log.Line("stopped");
        } else {
            status = 1;
        }
    }
    if (logFile != stdout) std::fclose(logFile);
    return status;
}
