// oracle-server: tells fortunes over UDP port 9000 with length-prefixed messages.
// Each exchange: wait for a client's first datagram (any content, it only says where the
// client is), send the greeting, receive a name, print it, pick a fortune from the sum of the
// name's bytes and send it back. Watch it with oracle-client in another shell:
//   oracle-server          then, elsewhere:   echo bob | oracle-client
// Datagrams of two clients talking at once are mixed into one exchange; that is UDP.
#include <sys/socket.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dgram-framing.hpp"

namespace {

constexpr std::uint16_t kPort = 9000;
constexpr int kFortunes = 3;
constexpr const char *kGreeting = "Welcome to ZQ. what's your name";
constexpr const char *kFortune[kFortunes] = {
    "you will get good score in exam",
    "you will get job",
    "blah.. blah..",
};
// Big enough for any first-contact datagram we care to look at; its content is ignored.
constexpr std::size_t kContactBytes = 512;

// Send a length-prefixed message to the last sender that readNBytes (or the first-contact
// receive) recorded.
void sendMessage(int sockfd, const char *body) {
    const std::int16_t len = static_cast<std::int16_t>(strlen(body));
    sendto(sockfd, &len, sizeof(len), 0, reinterpret_cast<const sockaddr *>(&cliaddr),
           static_cast<socklen_t>(clilen));
    sendto(sockfd, body, static_cast<size_t>(static_cast<ssize_t>(len)), 0,
           reinterpret_cast<const sockaddr *>(&cliaddr), static_cast<socklen_t>(clilen));
}

}  // namespace

void handleClient(int sockfd) {
    // First contact: a new client has no address we could know until it sends something.
    char contact[kContactBytes];
    recvfrom(sockfd, contact, sizeof(contact), 0, reinterpret_cast<sockaddr *>(&cliaddr),
             reinterpret_cast<socklen_t *>(&clilen));

    sendMessage(sockfd, kGreeting);

    char *lenBlock = readNBytes(sockfd, 2);
    if (lenBlock == nullptr)
        return;  // no length: nothing to answer, next exchange
    std::int16_t nameLen;
    memcpy(&nameLen, lenBlock, sizeof(nameLen));
    char *name = readNBytes(sockfd, nameLen);
    if (name == nullptr && nameLen > 0) {  // the name was lost part-way: next exchange
        free(lenBlock);
        return;
    }

    int sum = 0;
    for (int i = 0; i < nameLen; i++) {
        sum += static_cast<signed char>(name[i]);
        putchar(name[i]);
    }
    putchar('\n');

    const int fortune_no = sum % 3;
    printf(" fortune_no = %d\n", fortune_no);
    // A negative sum leaves -1 or -2; answer with the entry its floored remainder names.
    sendMessage(sockfd, kFortune[(fortune_no + kFortunes) % kFortunes]);

    free(lenBlock);
    free(name);
}

int main() {
    const int sockfd = connandlisten(kPort);
    if (sockfd < 0)
        return 1;  // connandlisten has reported why
    for (;;) {
        puts(" client connected ");
        handleClient(sockfd);
    }
}
