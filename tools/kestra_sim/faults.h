// The faults kestra-sim can put on its line, so that a client's handling of
// them can be tried: a connection that drops, replies that come late by a
// varying time, a byte of a reply that arrives wrong. What is random comes
// from a generator seeded on the command line, so a run can be repeated.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace kestra_sim {

struct FaultOptions {
    long nDropEverySec = 0;  // a client's connection is closed this long after it came; 0: never
    long nJitterMs = 0;      // each reply is delayed by a further 0..nJitterMs
    long nGarbleEvery = 0;   // every nth reply has one byte changed; 0: none
    std::uint32_t nSeed = 1;
};

class CFaults {
public:
    explicit CFaults(const FaultOptions& options) : m_options(options), m_random(options.nSeed) {}

    // Milliseconds from a client's arrival to its forced drop; 0 for never.
    long long DropAfterMs() const { return m_options.nDropEverySec * 1000LL; }
    // The extra delay of the next reply.
    long long NextJitterMs();
    // The next reply as it goes on the line: every nth with one byte, at a
    // random place, changed to a random other value (a NUL and the Telnet
    // escape byte included). *note gets a line for the log when it changed.
    std::string NextReply(std::string reply, std::string* note);

private:
    std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(m_random() % n); }

    FaultOptions m_options;
    std::mt19937 m_random;  // the same sequence from the same seed wherever it runs
    unsigned long m_nReplies = 0;
};

}  // namespace kestra_sim
