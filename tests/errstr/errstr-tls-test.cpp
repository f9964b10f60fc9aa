// errstr-tls only: where its buffer lives, and the message rule's cut at 255 bytes, which no
// text of the C library is long enough to reach, checked on the shared rule with a long text.
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

#include "check.hpp"
#include "errmsg.hpp"

namespace {

// The thread pointer: on x86 the thread's static TLS block lies just below it.
std::uintptr_t threadPointer() {
    std::uintptr_t tp;
#if defined(__x86_64__)
    asm("mov %%fs:0, %0" : "=r"(tp));
#else
    asm("mov %%gs:0, %0" : "=r"(tp));
#endif
    return tp;
}

constexpr std::uintptr_t kStaticTlsSpan = 64 * 1024;  // far more than this program's TLS

// The buffer is in the calling thread's static TLS block: below its thread pointer, near it.
void expectInOwnTlsBlock(const char *buf) {
    const auto address = reinterpret_cast<std::uintptr_t>(buf);
    const std::uintptr_t tp = threadPointer();
    EXPECT_LE(address + kBufSize, tp);
    EXPECT_LT(tp - address, kStaticTlsSpan);
}

TEST(StrerrorTls, BufferLiesInTheCallingThreadsStaticTlsBlock) {
    expectInOwnTlsBlock(strerror(EPERM));
    std::thread other([] { expectInOwnTlsBlock(strerror(EINVAL)); });
    other.join();
}

// A fresh thread's buffer starts zero-filled: nothing of another thread's text shows through.
TEST(StrerrorTls, NewThreadsBufferStartsZeroFilled) {
    strerror(ENOENT);
    std::string tail;
    std::thread other([&] {
        char *buf = strerror(-1);
        const std::size_t len = std::strlen(buf);
        tail.assign(buf + len, kBufSize - len);
    });
    other.join();
    EXPECT_EQ(std::string(kBufSize - std::strlen("Unknown error -1"), '\0'), tail);
}

TEST(MessageRule, LongTextIsCutTo255BytesAndTerminated) {
    const std::string longText(300, 'e');
    const std::string exact(255, 'f');
    const char *const table[] = {"zero", nullptr, longText.c_str(), exact.c_str()};
    char buf[kBufSize];
    std::memset(buf, 'x', sizeof buf);
    fillMessage(buf, 2, table, 4);
    EXPECT_EQ(std::string(255, 'e'), std::string(buf));
    EXPECT_EQ('\0', buf[255]);
    fillMessage(buf, 3, table, 4);
    EXPECT_EQ(exact, std::string(buf));
    fillMessage(buf, 0, table, 4);
    EXPECT_BYTES("zero" + std::string(251, '\0'), std::string(buf, 255));
    fillMessage(buf, 1, table, 4);  // null entry
    EXPECT_STREQ("Unknown error 1", buf);
    fillMessage(buf, 4, table, 4);  // the count itself
    EXPECT_STREQ("Unknown error 4", buf);
}

}  // namespace
