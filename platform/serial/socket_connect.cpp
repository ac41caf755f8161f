#include "platform/serial/socket_connect.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform::serial {

int ResolveAddresses(const std::string& host, const std::string& port, std::vector<SocketAddress>* addresses) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); rc != 0) return rc;
    addresses->clear();
    for (addrinfo* ai = found; ai; ai = ai->ai_next) {
        if (ai->ai_addrlen > sizeof(sockaddr_storage)) continue;
        SocketAddress a;
        std::memcpy(&a.address, ai->ai_addr, ai->ai_addrlen);
        a.nLength = ai->ai_addrlen;
        addresses->push_back(a);
    }
    freeaddrinfo(found);
    return 0;
}

void CConnectAttempt::Begin(const std::vector<SocketAddress>& addresses, sched::Millis deadline) {
    Abandon();
    m_aAddresses = addresses;
    m_nNext = 0;
    m_nDeadline = deadline;
    m_nError = ETIMEDOUT;
    NextAddress();
}

void CConnectAttempt::NextAddress() {
    while (m_nNext < m_aAddresses.size() && sched::Now() < m_nDeadline) {
        const SocketAddress& a = m_aAddresses[m_nNext++];
        m_fd = socket(a.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0) {
            m_nError = errno;
            continue;
        }
        if (connect(m_fd, reinterpret_cast<const sockaddr*>(&a.address), a.nLength) == 0) {
            m_eState = State::Connected;
            return;
        }
        if (errno == EINPROGRESS) {
            m_eState = State::Pending;
            return;
        }
        m_nError = errno;
        close(m_fd);
        m_fd = -1;
    }
    m_eState = State::Failed;
}

CConnectAttempt::State CConnectAttempt::Step() {
    if (m_eState != State::Pending) return m_eState;
    pollfd p{m_fd, POLLOUT, 0};
    if (poll(&p, 1, 0) > 0) {
        int soError = 0;
        socklen_t len = sizeof soError;
        if (getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) soError = errno;
        if (soError == 0) {
            m_eState = State::Connected;
            return m_eState;
        }
        m_nError = soError;
    } else if (sched::Now() < m_nDeadline) {
        return m_eState;
    } else {
        m_nError = ETIMEDOUT;  // the time is spent; further addresses would not get any
    }
    close(m_fd);
    m_fd = -1;
    if (m_nError == ETIMEDOUT) {
        m_eState = State::Failed;
        return m_eState;
    }
    NextAddress();
    return m_eState;
}

int CConnectAttempt::TakeSocket() {
    if (m_eState != State::Connected) return -1;
    int fd = m_fd;
    m_fd = -1;
    m_eState = State::Idle;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // commands are short and wait for replies
    return fd;
}

void CConnectAttempt::Abandon() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
    m_eState = State::Idle;
}

}  // namespace platform::serial
