// A datagram socket of the fuzz targets, bound to a free port of 127.0.0.1; its address goes
// to *addr when asked for. A target that cannot have one cannot run: it aborts.
#pragma once

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>

inline int loopbackSocket(sockaddr_in *addr = nullptr) {
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof bound;
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&bound), sizeof bound) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &len) != 0) {
        perror("fuzz: loopback socket");
        abort();
    }
    if (addr)
        *addr = bound;
    return fd;
}
