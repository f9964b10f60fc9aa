// Fuzzes the datagram framing unit and oracle-server's exchange with the real code: the server
// (oracle-server.cpp without its main) serves on a loopback socket in a thread of its own, and
// each input is a sequence of datagrams of any length and content from one of two senders.
// After them a well-behaved client must still be greeted (after at most a few hellos) and
// get the right fortune for the name bob, whatever state the datagrams left the server in.
#include <arpa/inet.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dgram-framing.hpp"
#include "loopback.hpp"

[[noreturn]] void serve(int sockfd);  // oracle-server.cpp

namespace {

constexpr int kMaxDatagrams = 64;                      // the server socket's buffer holds them all
constexpr auto kAnswerWait = std::chrono::seconds(5);  // what the server owes comes at once
constexpr int kHelloTries = 4;
constexpr std::size_t kLongSize = 127;  // a size of 127 announces two more size bytes
constexpr std::string_view kGreeting = "Welcome to ZQ. what's your name";
constexpr std::string_view kBobFortune = "you will get job";

sockaddr_in server;
int senders[2];
int checker;

void sendToServer(int fd, const void *bytes, std::size_t size) {
    sendto(fd, bytes, size, 0, reinterpret_cast<const sockaddr *>(&server), sizeof server);
}

// One datagram within the wait, or nothing. libFuzzer's timer signal may cut the wait short;
// it goes on for the time that is left.
bool receive(int fd, std::string *datagram) {
    const auto deadline = std::chrono::steady_clock::now() + kAnswerWait;
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int ready = poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (ready == 1)
            break;
        if (ready == 0 || errno != EINTR)
            return false;
    }
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

// The exchange oracle-client holds. Each hello is answered by exactly one message: the
// greeting, or (where the server took the hello for a name of length 0) that name's fortune,
// after which a new hello is taken as a first contact. A message that does not come in time
// is a failure: a hello is never sent again on a timeout, which would leave a greeting too many.
void checkNormalExchange() {
    drain(checker);
    std::string answer;
    for (int i = 0; i < kHelloTries && answer != kGreeting; i++) {
        sendToServer(checker, "", 0);
        answer = message(checker);
        if (answer.empty())
            fail("no answer to a hello after the fuzzed datagrams");
    }
    if (answer != kGreeting)
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
    // Loopback delivers a datagram through the sending processor's queue: a thread that moves
    // to another processor between two sends can have the second overtake the first. The
    // checker's hello must come after every fuzzed datagram, so the process stays on one.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    if (sched_setaffinity(0, sizeof one, &one) != 0)
        fail("cannot stay on one processor");
    static int sockfd = connandlisten(0);  // any free port, every local address
    socklen_t len = sizeof server;
    if (sockfd < 0 || getsockname(sockfd, reinterpret_cast<sockaddr *>(&server), &len) != 0)
        fail("no server socket");
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    senders[0] = loopbackSocket();
    senders[1] = loopbackSocket();
    checker = loopbackSocket();
    // The server thread takes no signal (libFuzzer's timer would cut its receives short, which
    // the program never meets): every signal goes to the fuzzing thread.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    pthread_t thread;
    if (pthread_create(&thread, nullptr, serverThread, &sockfd) != 0)
        fail("no server thread");
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace

// Each datagram: one header byte (bit 0: which sender, the rest: its size, 0 to 126, or 127:
// the size is 127 plus the next two bytes, little-endian), then its bytes; a short tail sends
// what there is.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const bool ready = (setUp(), true);
    (void)ready;
    std::size_t at = 0;
    for (int sent = 0; at < size && sent < kMaxDatagrams; sent++) {
        const int from = data[at] & 1;
        std::size_t n = data[at] >> 1;
        at++;
        if (n == kLongSize && size - at >= 2) {
            n += static_cast<std::size_t>(data[at] | data[at + 1] << 8);
            at += 2;
        }
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
