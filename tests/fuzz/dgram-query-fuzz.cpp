// Fuzzes dgram-query-client's words and replies with the real code (its queryWords, without
// its main): the input is the client's standard input and how the service answers each word.
// The target plays the service inside the client's own sends (the link wraps sendto), so each
// answer is waiting before the client looks for it, and a missing one fails the receive at
// once, as a timeout would. A word may get its reply, none, a copy that comes after the client
// has moved on, and a datagram from another port. The client must print exactly the replies
// that answered their own word, in order, and every datagram it sends must be one word of at
// most 999 bytes.
#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "loopback.hpp"

bool queryWords(int sockfd, const sockaddr_in *servaddr);  // dgram-query-client.cpp

extern "C" ssize_t __real_sendto(int fd, const void *buf, size_t n, int flags, const sockaddr *addr,
                                 socklen_t len);

namespace {

constexpr int kMaxReplies = 15;
constexpr std::size_t kMaxReplyBytes = 2047;  // longer than the client's buffer
constexpr std::size_t kMaxWordBytes = 999;
constexpr std::size_t kPrintedBytes = 999;  // the client cuts longer replies
constexpr int kArrivalMs = 5000;            // a datagram on loopback is there at once
constexpr std::string_view kForged = "forged";

// How the service answers a word: bits of the reply's size field above its 11 bits of size.
enum : unsigned { kUnanswered = 1, kLateCopy = 2, kForgedFirst = 4 };

struct Reply {
    unsigned how;
    std::string bytes;
};

sockaddr_in service, clientAddr;
int serviceFd, forgerFd, clientFd = -1;
std::vector<Reply> replies;
std::size_t words;              // words the client has sent in this input
std::vector<std::string> late;  // copies to send once the client has moved on
std::string expected;           // what the client must print

[[noreturn]] void fail(const char *what) {
    fprintf(stderr, "dgram-query-fuzz: %s\n", what);
    abort();
}

// Send to the client from fd and, unless the client's socket drops it, wait until it is there.
void sendToClient(int fd, std::string_view bytes, bool mustArrive) {
    __real_sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr *>(&clientAddr),
                  sizeof clientAddr);
    pollfd waiting{clientFd, POLLIN, 0};
    if (mustArrive && poll(&waiting, 1, kArrivalMs) != 1)
        fail("a reply did not reach the client");
}

// The service: take the word the client just sent and answer it as the input says.
void serveWord() {
    pollfd p{serviceFd, POLLIN, 0};
    if (poll(&p, 1, kArrivalMs) != 1)
        fail("a word did not reach the service");
    char datagram[65536];
    const ssize_t n = recv(serviceFd, datagram, sizeof datagram, 0);
    if (n < 0 || static_cast<std::size_t>(n) > kMaxWordBytes)
        fail("a word of more than 999 bytes");
    for (ssize_t i = 0; i < n; i++)
        if (isspace(static_cast<unsigned char>(datagram[i])))
            fail("white space inside a word");
    if (words >= replies.size())
        return;  // no answer at all
    const Reply &r = replies[words];
    if (r.how & kForgedFirst)
        sendToClient(forgerFd, kForged, false);
    if (!(r.how & kUnanswered)) {
        sendToClient(serviceFd, r.bytes, true);
        const std::string cut = r.bytes.substr(0, kPrintedBytes);
        expected += "From server " + cut.substr(0, cut.find('\0')) + "\n";
    }
    if (r.how & kLateCopy)
        late.push_back(r.bytes);
}

// Standard input, unbuffered, so that the client asks for it between words: a late copy is
// sent then, before the client's next word goes out.
struct Input {
    const std::uint8_t *at, *end;
};

ssize_t readInput(void *cookie, char *buf, size_t size) {
    for (const auto &copy : late)
        sendToClient(serviceFd, copy, true);
    late.clear();
    auto *in = static_cast<Input *>(cookie);
    const auto n = std::min<std::size_t>(size, static_cast<std::size_t>(in->end - in->at));
    memcpy(buf, in->at, n);
    in->at += n;
    return static_cast<ssize_t>(n);
}

}  // namespace

// The client's sends; each is answered before the client goes on to receive.
extern "C" ssize_t __wrap_sendto(int fd, const void *buf, size_t n, int flags, const sockaddr *addr,
                                 socklen_t len) {
    const ssize_t sent = __real_sendto(fd, buf, n, flags, addr, len);
    if (fd == clientFd) {
        serveWord();
        ++words;
    }
    return sent;
}

// Input: one byte, the number of replies (0 to 15); each reply a 2-byte field, its low 11 bits
// the size (0 to 2047) and the bits above it how the word is answered, then its bytes; the rest
// is standard input.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (serviceFd == 0) {
        serviceFd = loopbackSocket(&service);
        forgerFd = loopbackSocket();
    }
    if (size < 1)
        return 0;
    clientFd = loopbackSocket(&clientAddr);
    fcntl(clientFd, F_SETFL, O_NONBLOCK);  // a missing reply fails at once instead of in 3 s

    replies.clear();
    const int count = data[0] % (kMaxReplies + 1);
    std::size_t at = 1;
    for (int i = 0; i < count && at + 2 <= size; i++) {
        const unsigned field = data[at] | data[at + 1] << 8;
        const std::size_t n = std::min(field & kMaxReplyBytes, size - at - 2);
        at += 2;
        replies.push_back({field >> 11, std::string(reinterpret_cast<const char *>(data + at), n)});
        at += n;
    }
    words = 0;
    late.clear();
    expected.clear();

    Input input{data + at, data + size};
    FILE *in = fopencookie(&input, "r", {readInput, nullptr, nullptr, nullptr});
    setvbuf(in, nullptr, _IONBF, 0);
    char *printed = nullptr;
    size_t printedSize = 0;
    FILE *out = open_memstream(&printed, &printedSize);
    FILE *const realStdin = stdin;
    FILE *const realStdout = stdout;
    stdin = in;
    stdout = out;
    const bool connected = queryWords(clientFd, &service);
    stdin = realStdin;
    stdout = realStdout;
    fclose(in);
    fclose(out);
    if (!connected)
        fail("the client could not connect its socket");
    if (std::string_view(printed, printedSize) != expected) {
        fprintf(stderr, "printed:\n%.*s\nexpected:\n%s\n", static_cast<int>(printedSize), printed,
                expected.c_str());
        fail("a reply printed for the wrong word");
    }
    free(printed);
    close(clientFd);
    clientFd = -1;
    return 0;
}
