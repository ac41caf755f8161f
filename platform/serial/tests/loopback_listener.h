// A listening TCP socket on 127.0.0.1 at a free port, for the fake peers of
// the network port's tests.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

// The socket; *port gets its port. nReceiveBuffer: the receive buffer of the
// connections it accepts (0: the system's, which grows).
inline int ListenOnLoopback(int* port, int nReceiveBuffer = 0) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (nReceiveBuffer) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &nReceiveBuffer, sizeof nReceiveBuffer);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(fd, 4);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    *port = ntohs(addr.sin_port);
    return fd;
}
