// oracle-client: one conversation with oracle-server on UDP 127.0.0.1 port 9000: receive and
// print the greeting, read one word (your name) from standard input, send it, receive and print
// the fortune. Start oracle-server first, then:   echo bob | oracle-client
// The client announces itself with one empty datagram, since the server cannot greet a socket
// that has never sent anything. It waits at most 3 s for each datagram of an answer, and takes
// datagrams from the server's address only.
#include <arpa/inet.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "dgram-framing.hpp"

namespace {

constexpr std::uint16_t kServerPort = 9000;
constexpr const char *kServerIp = "127.0.0.1";
constexpr int kNameBytes = 200;  // a name of at most 199 bytes and its terminating zero
// No server, or one that gave up on this exchange, sends nothing: wait no longer than this.
constexpr int kAnswerWaitSeconds = 3;

// Say why an answer is missing when no datagram came in time. (Nothing listening on the port,
// "Connection refused", readNBytes has said.)
bool noAnswer() {
    if (lastrecv < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        fprintf(stderr, "oracle-client: no answer from the server within %d s\n",
                kAnswerWaitSeconds);
    return false;
}

// Receive a length-prefixed message and print it; false when a receive failed.
bool receiveAndPrint(int sockfd) {
    char *lenBlock = readNBytes(sockfd, 2);
    if (lenBlock == nullptr)
        return noAnswer();
    std::int16_t len;
    memcpy(&len, lenBlock, sizeof(len));
    char *body = readNBytes(sockfd, len);
    if (body == nullptr)
        return noAnswer();
    for (int i = 0; i < len; i++)
        putchar(body[i]);
    putchar('\n');
    return true;  // the blocks are released when the program ends
}

}  // namespace

int main() {
    const int sockfd = socket(AF_INET, SOCK_DGRAM, 0);
    if (sockfd < 0) {
        perror("sock:");
        return 1;
    }
    sockaddr_in servaddr;
    bzero(&servaddr, sizeof(servaddr));
    servaddr.sin_family = AF_INET;
    servaddr.sin_port = htons(kServerPort);
    inet_pton(AF_INET, kServerIp, &servaddr.sin_addr);
    const timeval wait{kAnswerWaitSeconds, 0};
    setsockopt(sockfd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
    const auto *server = reinterpret_cast<const sockaddr *>(&servaddr);
    // Connected to the server's address, the socket takes datagrams from nobody else: the
    // kernel drops any other sender's. (readNBytes still records the sender: the server.)
    if (connect(sockfd, server, sizeof(servaddr)) < 0) {
        perror("connect");
        return 1;
    }

    sendto(sockfd, "", 0, 0, server, sizeof(servaddr));  // first contact
    if (!receiveAndPrint(sockfd))
        return 1;

    char name[kNameBytes];
    if (scanf("%199s", name) != 1) {
        fputs("oracle-client: no name on standard input\n", stderr);
        return 1;
    }
    const std::int16_t nameLen = static_cast<std::int16_t>(strlen(name));
    sendto(sockfd, &nameLen, sizeof(nameLen), 0, server, sizeof(servaddr));
    sendto(sockfd, name, static_cast<size_t>(static_cast<ssize_t>(nameLen)), 0, server,
           sizeof(servaddr));

    if (!receiveAndPrint(sockfd))
        return 1;
    return close(sockfd);
}
