// A peer program for a test: started with its standard output on a pipe,
// the TCP port it prints first read back, stopped (and if need be killed)
// when the object goes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class CPeerProcess {
public:
    // Starts argv[0] with argv; standard error goes to stderrFile ("" keeps it).
    CPeerProcess(const std::vector<std::string>& argv, const std::string& stderrFile = "");
    ~CPeerProcess();  // SIGTERM, then SIGKILL after a short grace
    CPeerProcess(const CPeerProcess&) = delete;
    CPeerProcess& operator=(const CPeerProcess&) = delete;

    // The first number on the first line of output within a time limit; 0 if none came.
    int Port() const { return m_nPort; }
    // Stops it with SIGTERM; its exit status, or -1 when it had to be killed.
    int Stop();

private:
    pid_t m_pid = -1;
    int m_nOut = -1;
    int m_nPort = 0;
};

// Waits up to 1 s for file to hold text; returns its contents.
std::string AwaitInFile(const std::string& path, const std::string& text);
