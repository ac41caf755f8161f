// kestra-sim as a child process of the soak: started with the faults to put
// on its line, its log read on a thread of its own, and the lines that matter
// counted and time-stamped as they come. It goes when the soak goes, however
// the soak ends.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using SoakClock = std::chrono::steady_clock;

class CSimProcess {
public:
    struct Counts {
        int nConnections = 0;
        int nDrops = 0;  // connections closed by --drop-every
        int nReplies = 0;
        int nGarbled = 0;
    };
    struct Drop {
        SoakClock::time_point at;
    };

    CSimProcess() = default;
    ~CSimProcess();  // stops it
    CSimProcess(const CSimProcess&) = delete;
    CSimProcess& operator=(const CSimProcess&) = delete;

    // Starts program with args and waits up to 5 s for the port it listens
    // on; false with *error (one line) when it did not come up. Its log is
    // copied to logFile unless that is "".
    bool Start(const std::string& program, const std::vector<std::string>& args, const std::string& logFile,
               std::string* error);
    int Port() const { return m_nPort; }
    Counts Snapshot() const;
    // The drops seen since the last call, oldest first.
    std::vector<Drop> TakeDrops();
    // SIGTERM, then SIGKILL after a short grace; safe to call twice.
    void Stop();

private:
    void ReadLog();
    void Take(const std::string& line);

    pid_t m_pid = -1;
    int m_nOut = -1;
    int m_nPort = 0;
    FILE* m_pLog = nullptr;  // written by the log's thread only
    std::thread m_reader;
    mutable std::mutex m_lock;
    Counts m_counts;
    std::vector<Drop> m_aDrops;
};
