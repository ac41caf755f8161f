// A TCP connection made without ever blocking in the system: the addresses
// of a host resolved once, and an attempt that a caller steps on (and may
// wait for between steps) until it connects, fails or runs out of time.
#pragma once

#include <sys/socket.h>

#include <string>
#include <vector>

#include "platform/base/scheduler.h"

namespace platform::serial {

struct SocketAddress {
    sockaddr_storage address{};
    socklen_t nLength = 0;
};

// The stream addresses of host:port (port in digits); 0, or getaddrinfo's error code.
int ResolveAddresses(const std::string& host, const std::string& port, std::vector<SocketAddress>* addresses);

class CConnectAttempt {
public:
    enum class State { Idle, Pending, Connected, Failed };

    CConnectAttempt() = default;
    ~CConnectAttempt() { Abandon(); }
    CConnectAttempt(const CConnectAttempt&) = delete;
    CConnectAttempt& operator=(const CConnectAttempt&) = delete;

    // Tries the addresses in turn until deadline; what is pending of an earlier attempt is abandoned.
    void Begin(const std::vector<SocketAddress>& addresses, sched::Millis deadline);
    // Looks (without waiting) whether the attempt got further, and returns where it stands.
    State Step();
    // While pending: the socket to wait on for POLLOUT; -1 otherwise.
    int PendingSocket() const { return m_eState == State::Pending ? m_fd : -1; }
    // Once connected: the socket, which the caller then owns (the attempt goes back to idle).
    int TakeSocket();
    // Once failed: the errno of the last address tried (ETIMEDOUT when time ran out).
    int Error() const { return m_nError; }
    // Closes a pending socket; back to idle.
    void Abandon();

private:
    // Starts connecting to the next address, or fails when none is left.
    void NextAddress();

    State m_eState = State::Idle;
    std::vector<SocketAddress> m_aAddresses;
    std::size_t m_nNext = 0;
    sched::Millis m_nDeadline = 0;
    int m_fd = -1;
    int m_nError = 0;
};

}  // namespace platform::serial
