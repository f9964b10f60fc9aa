// stream-piece-client: a TCP client for the stream servers (a peer, not a deliverable).
// Connects to 127.0.0.1 port 8000; every line typed on standard input is sent as one piece,
// without its newline, so a scenario decides how the bytes are split. Prints what it sends,
// what comes back and when the server closes; end of input half-closes the connection.
// A server that is not listening yet is given a few seconds to start.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr std::uint16_t kPort = 8000;
constexpr const char *kIp = "127.0.0.1";
constexpr std::size_t kChunk = 4096;
constexpr int kConnectTries = 100;  // 5 s in steps of 50 ms
constexpr useconds_t kConnectPause = 50000;

// A connection to the server, or -1.
int connectToServer() {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(kPort);
    inet_pton(AF_INET, kIp, &addr.sin_addr);
    for (int i = 0; i < kConnectTries; i++) {
        const int sockfd = socket(AF_INET, SOCK_STREAM, 0);
        if (sockfd < 0)
            return -1;
        if (connect(sockfd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0)
            return sockfd;
        const int err = errno;
        close(sockfd);
        if (err != ECONNREFUSED)
            break;
        usleep(kConnectPause);
    }
    return -1;
}

}  // namespace

int main() {
    const int sockfd = connectToServer();
    if (sockfd < 0) {
        perror("connect");
        return 1;
    }
    printf("connected to %s port %u\n", kIp, kPort);
    fflush(stdout);

    std::string line;
    bool inputOpen = true;
    char buf[kChunk];
    for (;;) {
        pollfd fds[2] = {{sockfd, POLLIN, 0}, {inputOpen ? STDIN_FILENO : -1, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0)
            continue;
        if (fds[0].revents) {
            const ssize_t n = read(sockfd, buf, sizeof(buf));
            if (n <= 0) {
                puts(n == 0 ? "the server closed the connection" : "the connection failed");
                return 0;
            }
            printf("received %zd bytes: %.*s\n", n, static_cast<int>(n), buf);
            fflush(stdout);
        }
        if (fds[1].revents) {
            const ssize_t n = read(STDIN_FILENO, buf, sizeof(buf));
            if (n <= 0) {
                shutdown(sockfd, SHUT_WR);
                inputOpen = false;
                puts("end of input: sent the end of the stream");
                fflush(stdout);
                continue;
            }
            for (ssize_t i = 0; i < n; i++) {
                if (buf[i] != '\n') {
                    line += buf[i];
                    continue;
                }
                send(sockfd, line.data(), line.size(), MSG_NOSIGNAL);
                printf("sent %zu bytes: %s\n", line.size(), line.c_str());
                fflush(stdout);
                line.clear();
            }
        }
    }
}
