// Stream framing helpers (see stream-framing.hpp).
#include "stream-framing.hpp"

#include <arpa/inet.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {
constexpr int kBacklog = 5;  // pending connections the kernel queues for accept
}

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
        // Never ask for more than is still wanted: what follows belongs to the next reader.
        const ssize_t got = read(sockfd, pos, static_cast<size_t>(wanted));
        printf(" read %d from cli \n", static_cast<int>(got));
        if (got <= 0) {
            perror("sockread:");
            free(block);
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
    const int sockfd = socket(AF_INET, SOCK_STREAM, 0);
    if (sockfd < 0) {
        perror("sock:");
        return sockfd;
    }
    sockaddr_in servaddr;
    bzero(&servaddr, sizeof(servaddr));
    servaddr.sin_family = AF_INET;
    servaddr.sin_addr.s_addr = htonl(INADDR_ANY);
    servaddr.sin_port = htons(port);
    // No SO_REUSEADDR: a port still held by a recently closed connection makes bind fail.
    if (bind(sockfd, reinterpret_cast<sockaddr *>(&servaddr), sizeof(servaddr)) < 0) {
        perror("bind:");
        close(sockfd);
        return -1;
    }
    listen(sockfd, kBacklog);
    return sockfd;
}
