// Fuzzes the stream framing unit's readNBytes with the real code: the input's bytes wait in a
// connected stream socket whose peer has closed, and a series of counts (negative, zero, short
// or past the end) is read from it. Each result must be exactly the next bytes of the stream,
// or null without taking any (count below 1) or after taking the rest (stream too short).
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "stream-framing.hpp"

namespace {

constexpr int kMaxReads = 8;

[[noreturn]] void fail(const char *what) {
    fprintf(stderr, "stream-framing-fuzz: %s\n", what);
    abort();
}

}  // namespace

// Input: one byte, the number of reads (1 to 8); that many signed 16-bit counts; then the
// stream's bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1)
        return 0;
    const int reads = data[0] % kMaxReads + 1;
    if (size < 1 + 2 * static_cast<std::size_t>(reads))
        return 0;
    const std::uint8_t *stream = data + 1 + 2 * reads;
    const std::size_t streamSize = size - 1 - 2 * static_cast<std::size_t>(reads);

    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        fail("no socket pair");
    if (write(fds[1], stream, streamSize) != static_cast<ssize_t>(streamSize))
        fail("short write");
    close(fds[1]);  // the peer has said everything

    std::size_t taken = 0;
    for (int i = 0; i < reads; i++) {
        std::int16_t count;
        memcpy(&count, data + 1 + 2 * i, 2);
        char *block = readNBytes(fds[0], count);
        if (count <= 0) {
            if (block != nullptr)
                fail("a block for a count below 1");
        } else if (static_cast<std::size_t>(count) > streamSize - taken) {
            if (block != nullptr)
                fail("a block although the stream ended first");
            taken = streamSize;
        } else {
            if (block == nullptr || memcmp(block, stream + taken, count) != 0)
                fail("not the next bytes of the stream");
            taken += static_cast<std::size_t>(count);
        }
        free(block);
    }
    close(fds[0]);
    return 0;
}
