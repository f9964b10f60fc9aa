// dgram-query-client: sends each word read from standard input as one UDP datagram to the
// reply service at 127.0.0.1 port 8000 and prints the one datagram that comes back.
// Start a reply service first (this project's peer: dgram-reply-service), then:
//   echo one two | dgram-query-client
// A reply that does not come within 3 s is reported as a failed receive and the next word
// follows. Longer words are sent in pieces of 999 bytes and longer replies are cut to 999 bytes.
// Only the service's datagrams are taken, and one still waiting when the next word goes out
// (a reply that came too late) is dropped. One still on its way then is taken for that word.
#include <arpa/inet.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uint16_t kServicePort = 8000;
constexpr const char *kServiceIp = "127.0.0.1";
constexpr int kBufferBytes = 1000;
constexpr int kReplyMax = kBufferBytes - 1;  // leaves room for the terminating zero
constexpr int kReplyWaitSeconds = 3;         // a word without a reply holds nobody longer
// scanf's width for a word of at most 999 bytes; the rest of a longer word is the next word.
#define WORD_FORMAT "%999s"
static_assert(kBufferBytes - 1 == 999, "WORD_FORMAT's width must leave room for the zero");

// Drop every datagram waiting on the socket: before a word goes out, anything there answers an
// earlier word (a reply that came after its wait ran out, or a second copy of one). A refusal
// left by an earlier word (nothing listened on the port then) goes the same way.
void discardWaiting(int sockfd, char *buf) {
    while (recv(sockfd, buf, kReplyMax, MSG_DONTWAIT) >= 0 || errno == ECONNREFUSED) {
    }
}

}  // namespace

// One datagram per word read from standard input to the service, one reply printed per word,
// until the input ends. False when the socket cannot be tied to the service (reported).
bool queryWords(int sockfd, const sockaddr_in *servaddr) {
    socklen_t len = sizeof(*servaddr);
    // Connected to the service's address, the socket takes datagrams from nobody else: the
    // kernel drops any other sender's.
    if (connect(sockfd, reinterpret_cast<const sockaddr *>(servaddr), len) < 0) {
        perror("connect");
        return false;
    }
    char word[kBufferBytes];
    char reply[kBufferBytes];
    // End of input ends the client: there is no word left to ask about.
    while (scanf(WORD_FORMAT, word) == 1) {
        discardWaiting(sockfd, reply);
        sendto(sockfd, word, strlen(word), 0, reinterpret_cast<const sockaddr *>(servaddr), len);
        const ssize_t n = recvfrom(sockfd, reply, kReplyMax, 0, nullptr, &len);
        if (n < 0) {
            perror("recvfrom");  // no reply (in time) to print; go on with the next word
            continue;
        }
        reply[n] = '\0';
        printf("From server %s\n", reply);
    }
    return true;
}

#ifndef DGRAM_QUERY_CLIENT_NO_MAIN
int main() {
    const int sockfd = socket(AF_INET, SOCK_DGRAM, 0);
    if (sockfd < 0) {
        perror("error:");
        exit(1);
    }
    sockaddr_in servaddr;
    bzero(&servaddr, sizeof(servaddr));
    servaddr.sin_family = AF_INET;
    servaddr.sin_port = htons(kServicePort);
    inet_pton(AF_INET, kServiceIp, &servaddr.sin_addr);
    const timeval wait{kReplyWaitSeconds, 0};
    setsockopt(sockfd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
    return queryWords(sockfd, &servaddr) ? 0 : 1;
}
#endif
