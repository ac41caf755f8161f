#include "tools/soak/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

namespace {

constexpr auto START_LIMIT = std::chrono::seconds(5);
constexpr auto STOP_GRACE = std::chrono::seconds(2);

bool StartsWith(const std::string& text, const char* head) { return text.rfind(head, 0) == 0; }

}  // namespace

CSimProcess::~CSimProcess() { Stop(); }

bool CSimProcess::Start(const std::string& program, const std::vector<std::string>& args, const std::string& logFile,
                        std::string* error) {
    if (!logFile.empty() && !(m_pLog = std::fopen(logFile.c_str(), "w"))) {
        *error = "cannot write " + logFile;
        return false;
    }
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        *error = "cannot make a pipe for kestra-sim's log";
        return false;
    }
    pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);  // a soak that dies takes its simulator along
        if (getppid() != parent) _exit(127);
        dup2(out[1], 1);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    if (m_pid < 0) {
        close(out[0]);
        *error = "cannot start " + program;
        return false;
    }
    m_nOut = out[0];
    // The first line says where it listens; the log follows on the thread.
    std::string line;
    auto end = SoakClock::now() + START_LIMIT;
    while (SoakClock::now() < end && line.find('\n') == std::string::npos) {
        pollfd p{m_nOut, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        char c;
        if (read(m_nOut, &c, 1) != 1) break;
        line.push_back(c);
    }
    const std::string head = "kestra-sim: listening on 127.0.0.1:";
    if (StartsWith(line, head.c_str())) m_nPort = std::atoi(line.c_str() + head.size());
    if (m_nPort <= 0) {
        *error = program + " did not start listening within 5 s";
        Stop();
        return false;
    }
    m_reader = std::thread([this] { ReadLog(); });
    return true;
}

void CSimProcess::ReadLog() {
    std::string pending;
    char chunk[4096];
    for (;;) {
        ssize_t n = read(m_nOut, chunk, sizeof chunk);
        if (n <= 0) return;  // it ended
        pending.append(chunk, static_cast<size_t>(n));
        for (size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
            Take(pending.substr(0, eol));
            pending.erase(0, eol + 1);
        }
    }
}

void CSimProcess::Take(const std::string& line) {
    if (m_pLog) std::fprintf(m_pLog, "%s\n", line.c_str());
    std::lock_guard<std::mutex> lk(m_lock);
    if (StartsWith(line, "connection from ")) ++m_counts.nConnections;
    if (StartsWith(line, "reply ")) ++m_counts.nReplies;
    if (StartsWith(line, "garbled reply ")) ++m_counts.nGarbled;
    if (StartsWith(line, "disconnected: dropped after ")) {
        ++m_counts.nDrops;
        m_aDrops.push_back({SoakClock::now()});
    }
}

CSimProcess::Counts CSimProcess::Snapshot() const {
    std::lock_guard<std::mutex> lk(m_lock);
    return m_counts;
}

std::vector<CSimProcess::Drop> CSimProcess::TakeDrops() {
    std::lock_guard<std::mutex> lk(m_lock);
    return std::exchange(m_aDrops, {});
}

void CSimProcess::Stop() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        auto end = SoakClock::now() + STOP_GRACE;
        bool gone = false;
        while (!(gone = waitpid(m_pid, &status, WNOHANG) == m_pid) && SoakClock::now() < end)
            poll(nullptr, 0, 10);
        if (!gone) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }
    if (m_reader.joinable()) m_reader.join();  // the pipe ends with the process
    if (m_nOut >= 0) close(m_nOut);
    m_nOut = -1;
    if (m_pLog) std::fclose(m_pLog);
    m_pLog = nullptr;
}
