// A listening TCP socket on 127.0.0.1, for the fake peers of the network
// port's tests.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

// The socket, or -1. *port: the port to listen on, 0 for a free one; it gets
// the port. nReceiveBuffer: the receive buffer of the connections it accepts
// (0: the system's, which grows). nBacklog: connections the system completes
// before they are accepted; more wait unanswered.
inline int ListenOnLoopback(int* port, int nReceiveBuffer = 0, int nBacklog = 4) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);  // the port again, while its old connections linger
    if (nReceiveBuffer) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &nReceiveBuffer, sizeof nReceiveBuffer);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(*port));
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, nBacklog) != 0) {
        close(fd);
        return -1;
    }
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    *port = ntohs(addr.sin_port);
    return fd;
}
