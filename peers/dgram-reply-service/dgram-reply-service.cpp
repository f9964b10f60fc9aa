// dgram-reply-service: the datagram reply service that dgram-query-client talks to (a peer,
// not a deliverable). Bound to UDP 127.0.0.1 port 8000, it answers every datagram with one
// datagram holding the same bytes in upper case, and prints one line per exchange:
//   <n> bytes from port <sender's port>: <text> -> <answer>
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::uint16_t kPort = 8000;
constexpr const char *kIp = "127.0.0.1";
constexpr std::size_t kMaxDatagram = 65536;  // larger than any UDP payload

char text[kMaxDatagram + 1];
char answer[kMaxDatagram + 1];

}  // namespace

int main() {
    const int sockfd = socket(AF_INET, SOCK_DGRAM, 0);
    if (sockfd < 0) {
        perror("socket");
        return 1;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(kPort);
    inet_pton(AF_INET, kIp, &addr.sin_addr);
    if (bind(sockfd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) < 0) {
        perror("bind");
        return 1;
    }
    for (;;) {
        sockaddr_in from{};
        socklen_t fromLen = sizeof(from);
        const ssize_t n =
            recvfrom(sockfd, text, kMaxDatagram, 0, reinterpret_cast<sockaddr *>(&from), &fromLen);
        if (n < 0) {
            perror("recvfrom");
            continue;
        }
        for (ssize_t i = 0; i < n; i++)
            answer[i] = static_cast<char>(toupper(static_cast<unsigned char>(text[i])));
        text[n] = answer[n] = '\0';
        printf("%zd bytes from port %u: %s -> %s\n", n, ntohs(from.sin_port), text, answer);
        fflush(stdout);  // one line per exchange, also when the output is a pipe
        sendto(sockfd, answer, static_cast<std::size_t>(n), 0, reinterpret_cast<sockaddr *>(&from),
               fromLen);
    }
}
