// Fuzzes dgram-query-client's words and replies with the real code (its queryWords, without
// its main): the input is the client's standard input and the replies waiting for it (some
// words get none: the receive fails at once, as a timeout would). Every datagram sent must be
// one word of at most 999 bytes.
#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "loopback.hpp"

void queryWords(int sockfd, const sockaddr_in *servaddr);  // dgram-query-client.cpp

namespace {

constexpr int kMaxReplies = 15;
constexpr std::size_t kMaxReplyBytes = 2047;  // longer than the client's buffer
constexpr std::size_t kMaxWordBytes = 999;

sockaddr_in service;
int serviceFd;

[[noreturn]] void fail(const char *what) {
    fprintf(stderr, "dgram-query-fuzz: %s\n", what);
    abort();
}

}  // namespace

// Input: one byte, the number of replies (0 to 15); each reply a 2-byte size (0 to 2047) and
// its bytes; the rest is standard input.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (serviceFd == 0)
        serviceFd = loopbackSocket(&service);
    if (size < 1)
        return 0;
    sockaddr_in clientAddr;
    const int client = loopbackSocket(&clientAddr);
    fcntl(client, F_SETFL, O_NONBLOCK);  // a missing reply fails at once instead of in 3 s

    const int replies = data[0] % (kMaxReplies + 1);
    std::size_t at = 1;
    for (int i = 0; i < replies && at + 2 <= size; i++) {
        std::size_t n = (data[at] | data[at + 1] << 8) & kMaxReplyBytes;
        at += 2;
        if (n > size - at)
            n = size - at;
        sendto(serviceFd, data + at, n, 0, reinterpret_cast<sockaddr *>(&clientAddr),
               sizeof clientAddr);
        at += n;
    }

    static char space[] = " ";  // fmemopen wants a buffer of at least one byte
    FILE *input = at < size ? fmemopen(const_cast<std::uint8_t *>(data + at), size - at, "r")
                            : fmemopen(space, 1, "r");
    FILE *const realStdin = stdin;
    stdin = input;
    queryWords(client, &service);
    stdin = realStdin;
    fclose(input);

    char datagram[65536];
    ssize_t n;
    while ((n = recv(serviceFd, datagram, sizeof datagram, MSG_DONTWAIT)) >= 0) {
        if (static_cast<std::size_t>(n) > kMaxWordBytes)
            fail("a word of more than 999 bytes");
        for (ssize_t i = 0; i < n; i++)
            if (isspace(static_cast<unsigned char>(datagram[i])))
                fail("white space inside a word");
    }
    close(client);
    return 0;
}
