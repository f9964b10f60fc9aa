// oracle-server: tells fortunes over UDP port 9000 with length-prefixed messages.
// Each exchange: wait for a client's first datagram (any content, it only says where the
// client is), send the greeting, receive a name, print it, pick a fortune from the sum of the
// name's bytes and send it back. Watch it with oracle-client in another shell:
//   oracle-server          then, elsewhere:   echo bob | oracle-client
// Datagrams of two clients talking at once are mixed into one exchange; that is UDP. A hello
// (an empty datagram) where a length or a name is due starts a new exchange with its sender.
#include <sys/socket.h>
#include <sys/time.h>

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
// A name follows its length at once; a client that never sends it is given up after this.
constexpr int kNameWaitSeconds = 2;

// Set when a hello came where a length or a name was due: the next exchange greets its sender,
// already recorded in cliaddr, instead of waiting for another first contact.
bool helloTaken = false;

// Bound every receive on the socket to `seconds`; 0 waits for as long as it takes.
void setReceiveTimeout(int sockfd, int seconds) {
    const timeval wait{seconds, 0};
    setsockopt(sockfd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
}

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
    if (!helloTaken) {
        char contact[kContactBytes];
        recvfrom(sockfd, contact, sizeof(contact), 0, reinterpret_cast<sockaddr *>(&cliaddr),
                 reinterpret_cast<socklen_t *>(&clilen));
    }
    helloTaken = false;

    sendMessage(sockfd, kGreeting);

    char *lenBlock = readNBytes(sockfd, 2);
    if (lenBlock == nullptr) {
        helloTaken = lastrecv == 0;  // no length; an empty datagram is a new client's hello
        return;
    }
    std::int16_t nameLen;
    memcpy(&nameLen, lenBlock, sizeof(nameLen));
    setReceiveTimeout(sockfd, kNameWaitSeconds);
    char *name = readNBytes(sockfd, nameLen);
    setReceiveTimeout(sockfd, 0);
    if (name == nullptr && nameLen > 0) {  // the name was lost part-way: next exchange
        helloTaken = lastrecv == 0;
        if (lastrecv < 0)
            fprintf(stderr, "oracle-server: no name within %d s, exchange abandoned\n",
                    kNameWaitSeconds);
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

// One exchange after another on the bound socket, for ever.
[[noreturn]] void serve(int sockfd) {
    for (;;) {
        puts(" client connected ");
        handleClient(sockfd);
    }
}

#ifndef ORACLE_SERVER_NO_MAIN
int main() {
    // Each line reaches a pipe or file as it is printed: the server runs until it is killed.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const int sockfd = connandlisten(kPort);
    if (sockfd < 0)
        return 1;  // connandlisten has reported why
    serve(sockfd);
}
#endif
