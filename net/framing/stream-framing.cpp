// Stream framing helpers (see stream-framing.hpp).
#include "stream-framing.hpp"

#include <arpa/inet.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {
constexpr int kBacklog = 5;               // pending connections the kernel queues for accept
constexpr long long kMicros = 1'000'000;  // microseconds in a second

// The socket's receive timeout, in microseconds: how long each read waits (0: for ever).
long long readTimeout(int sockfd) {
    timeval t{};
    socklen_t size = sizeof(t);
    getsockopt(sockfd, SOL_SOCKET, SO_RCVTIMEO, &t, &size);
    return t.tv_sec * kMicros + t.tv_usec;
}

void setReadTimeout(int sockfd, long long micros) {
    const timeval t{static_cast<time_t>(micros / kMicros),
                    static_cast<suseconds_t>(micros % kMicros)};
    setsockopt(sockfd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof(t));
}

// Microseconds from now until `end` on the monotonic clock; negative once it has passed.
long long microsUntil(const timespec &end) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (end.tv_sec - now.tv_sec) * kMicros + (end.tv_nsec - now.tv_nsec) / 1000;
}
}  // namespace

char *readNBytes(int sockfd, int n, int seconds) {
    // A negative count can never be allocated; say so before asking malloc, which is what a
    // failed allocation would have told us anyway.
    if (n < 0)
        return nullptr;
    char *block = static_cast<char *>(malloc(static_cast<size_t>(n)));
    if (block == nullptr)
        return nullptr;

    // With a limit for the whole call: when it ends, and the socket's own limit for each read.
    timespec end{};
    long long each = 0;
    if (seconds > 0) {
        clock_gettime(CLOCK_MONOTONIC, &end);
        end.tv_sec += seconds;
        each = readTimeout(sockfd);
    }
    int received = 0;
    int wanted = n;
    char *pos = block;
    for (;;) {
        if (seconds > 0) {
            // This read may wait what is left of the call, at most the socket's limit for
            // each read; at least 1 us, since a timeout of 0 would mean no limit at all.
            long long wait = microsUntil(end);
            if (each > 0 && each < wait)
                wait = each;
            setReadTimeout(sockfd, wait > 0 ? wait : 1);
        }
        // Never ask for more than is still wanted: what follows belongs to the next reader.
        const ssize_t got = read(sockfd, pos, static_cast<size_t>(wanted));
        printf(" read %d from cli \n", static_cast<int>(got));
        if (got <= 0) {
            perror("sockread:");
            free(block);
            block = nullptr;
            break;
        }
        pos += got;
        received += static_cast<int>(got);
        if (received == n)
            break;
        wanted -= static_cast<int>(got);
    }
    if (seconds > 0)
        setReadTimeout(sockfd, each);
    return block;
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
