#include "peer_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

CPeerProcess::CPeerProcess(const std::vector<std::string>& argv, const std::string& stderrFile) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
        dup2(out[1], 1);
        if (!stderrFile.empty()) {
            int err = open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err >= 0) dup2(err, 2);
        }
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    m_nOut = out[0];
    std::string line;
    auto end = Clock::now() + std::chrono::seconds(5);  // a cold Python start under a sanitizer build
    while (Clock::now() < end && line.find('\n') == std::string::npos) {
        pollfd p{m_nOut, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        char c;
        if (read(m_nOut, &c, 1) != 1) break;
        line.push_back(c);
    }
    size_t at = line.find_first_of("0123456789");
    if (line.find('\n') != std::string::npos && at != std::string::npos) {
        // "kestra-sim: listening on 127.0.0.1:PORT" or a bare port number: the number after the last ':'
        size_t colon = line.rfind(':');
        std::string digits = line.substr(colon == std::string::npos ? at : colon + 1);
        m_nPort = std::atoi(digits.c_str());
    }
}

CPeerProcess::~CPeerProcess() {
    Stop();
    if (m_nOut >= 0) close(m_nOut);
}

int CPeerProcess::Stop() {
    if (m_pid <= 0) return -1;
    kill(m_pid, SIGTERM);
    int status = 0;
    auto end = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < end) {
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return -1;
}

std::string AwaitInFile(const std::string& path, const std::string& text) {
    auto end = Clock::now() + std::chrono::seconds(1);
    std::string contents;
    do {
        std::ifstream file(path);
        std::stringstream buffer;
        buffer << file.rdbuf();
        contents = buffer.str();
        if (contents.find(text) != std::string::npos) return contents;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (Clock::now() < end);
    return contents;
}
