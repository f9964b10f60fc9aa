// Datagram framing helpers (see dgram-framing.hpp).
#include "dgram-framing.hpp"

#include <arpa/inet.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

sockaddr_in cliaddr;
int clilen = sizeof(cliaddr);
int lastrecv = 0;

char *readNBytes(int sockfd, int n) {
    // A negative count can never be allocated; say so before asking malloc, which is what a
    // failed allocation would have told us anyway.
    if (n < 0)
        return nullptr;
    char *block = static_cast<char *>(malloc(static_cast<size_t>(n)));
    if (block == nullptr)
        return nullptr;

    int received = 0;
    int wanted = n;
    char *pos = block;
    for (;;) {
        // clilen is an int by design; socklen_t is its unsigned twin, so this is the same object.
        const ssize_t got = recvfrom(sockfd, pos, static_cast<size_t>(wanted), 0,
                                     reinterpret_cast<sockaddr *>(&cliaddr),
                                     reinterpret_cast<socklen_t *>(&clilen));
        const int err = errno;  // printf may change it; the report is about the receive
        lastrecv = static_cast<int>(got);
        printf(" read %d no of bytes from n/w(Client/Server) \n", static_cast<int>(got));
        if (got <= 0) {
            errno = err;
            perror("sockread:");
            free(block);
            errno = err;  // for the caller, who may tell a timeout from a refusal by it
            return nullptr;
        }
        pos += got;
        received += static_cast<int>(got);
        if (received == n)
            return block;
        wanted -= static_cast<int>(got);
    }
}

int connandlisten(std::uint16_t port) {
    const int sockfd = socket(AF_INET, SOCK_DGRAM, 0);
    if (sockfd < 0) {
        perror("sock:");
        return sockfd;
    }
    sockaddr_in servaddr;
    bzero(&servaddr, sizeof(servaddr));
    servaddr.sin_family = AF_INET;
    servaddr.sin_addr.s_addr = htonl(INADDR_ANY);
    servaddr.sin_port = htons(port);
    if (bind(sockfd, reinterpret_cast<sockaddr *>(&servaddr), sizeof(servaddr)) < 0) {
        perror("bind:");
        close(sockfd);
        return -1;
    }
    return sockfd;
}
