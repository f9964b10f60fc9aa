// Fuzzes the datagram framing unit and oracle-server's exchange with the real code: the server
// (oracle-server.cpp without its main) serves on a loopback socket in a thread of its own, and
// each input is a sequence of datagrams of any length and content from one of two senders.
// After them a well-behaved client must still be greeted (after at most a few hellos) and
// get the right fortune for the name bob, whatever state the datagrams left the server in.
#include <arpa/inet.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dgram-framing.hpp"

[[noreturn]] void serve(int sockfd);  // oracle-server.cpp

namespace {

constexpr int kMaxDatagrams = 64;    // the server socket's buffer holds them all
constexpr int kAnswerWaitMs = 3000;  // a datagram the server owes comes at once; this is slack
constexpr int kHelloTries = 4;
constexpr std::string_view kGreeting = "Welcome to ZQ. what's your name";
constexpr std::string_view kBobFortune = "you will get job";

sockaddr_in server;
int senders[2];
int checker;

int loopbackSocket() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        perror("fortune-fuzz: socket");
        abort();
    }
    return fd;
}

void sendToServer(int fd, const void *bytes, std::size_t size) {
    sendto(fd, bytes, size, 0, reinterpret_cast<const sockaddr *>(&server), sizeof server);
}

// One datagram within the wait, or nothing.
bool receive(int fd, std::string *datagram) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kAnswerWaitMs) != 1)
        return false;
    char buf[65536];
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n < 0)
        return false;
    datagram->assign(buf, static_cast<std::size_t>(n));
    return true;
}

// A length-prefixed message, or an empty string when none came.
std::string message(int fd) {
    std::string len, body;
    if (!receive(fd, &len) || len.size() != 2)
        return {};
    std::int16_t n;
    memcpy(&n, len.data(), 2);
    if (!receive(fd, &body) || body.size() != static_cast<std::size_t>(n))
        return {};
    return body;
}

void drain(int fd) {
    char buf[65536];
    while (recv(fd, buf, sizeof buf, MSG_DONTWAIT) >= 0) {
    }
}

[[noreturn]] void fail(const char *what) {
    fprintf(stderr, "fortune-fuzz: %s\n", what);
    abort();
}

// The exchange oracle-client holds, with a new hello whenever something else than the
// greeting answers one (the server may have taken the hello for a name of length 0).
void checkNormalExchange() {
    drain(checker);
    bool greeted = false;
    for (int i = 0; i < kHelloTries && !greeted; i++) {
        sendToServer(checker, "", 0);
        greeted = message(checker) == kGreeting;
        drain(checker);
    }
    if (!greeted)
        fail("no greeting after the fuzzed datagrams");
    const std::int16_t len = 3;
    sendToServer(checker, &len, sizeof len);
    sendToServer(checker, "bob", 3);
    if (message(checker) != kBobFortune)
        fail("wrong or missing fortune for bob after the fuzzed datagrams");
}

void *serverThread(void *sockfd) {
    serve(*static_cast<int *>(sockfd));
}

void setUp() {
    static int sockfd = connandlisten(0);  // any free port, every local address
    socklen_t len = sizeof server;
    if (sockfd < 0 || getsockname(sockfd, reinterpret_cast<sockaddr *>(&server), &len) != 0)
        fail("no server socket");
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    senders[0] = loopbackSocket();
    senders[1] = loopbackSocket();
    checker = loopbackSocket();
    pthread_t thread;
    if (pthread_create(&thread, nullptr, serverThread, &sockfd) != 0)
        fail("no server thread");
}

}  // namespace

// Each datagram: one header byte (bit 0: which sender, the rest: its size, 0 to 127), then
// its bytes; a short tail sends what there is.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const bool ready = (setUp(), true);
    (void)ready;
    std::size_t at = 0;
    for (int sent = 0; at < size && sent < kMaxDatagrams; sent++) {
        const int from = data[at] & 1;
        std::size_t n = data[at] >> 1;
        at++;
        if (n > size - at)
            n = size - at;
        sendToServer(senders[from], data + at, n);
        at += n;
    }
    checkNormalExchange();
    drain(senders[0]);
    drain(senders[1]);
    return 0;
}
