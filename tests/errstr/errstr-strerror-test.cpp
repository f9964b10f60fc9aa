// One thread-safe strerror object (errstr-tls or errstr-tsd, whichever this program links)
// checked against the C library's own strerror, reached past ours with dlsym(RTLD_NEXT), and
// run from many threads at once.
#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <barrier>
#include <cerrno>
#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "check.hpp"
#include "errlist.hpp"

namespace {

constexpr int kLowest = -1000;  // the range checked number by number
constexpr int kHighest = 1000;
constexpr std::size_t kBufSize = 256;

using Strerror = char *(*)(int);

// The C library's message for err, copied at once (its buffer for unknown numbers is reused).
std::string libcText(int err) {
    static const auto libc = reinterpret_cast<Strerror>(dlsym(RTLD_NEXT, "strerror"));
    if (libc == nullptr || libc == &strerror)
        throw std::runtime_error("the C library's strerror is not reachable past ours");
    return libc(err);
}

// Expected texts for kLowest..kHighest, indexed from kLowest.
const std::vector<std::string> &libcTexts() {
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> all;
        for (int err = kLowest; err <= kHighest; ++err)
            all.push_back(libcText(err));
        return all;
    }();
    return texts;
}

const std::string &expected(int err) {
    return libcTexts()[static_cast<std::size_t>(err - kLowest)];
}

TEST(Strerror, EveryTextFromMinus1000To1000IsTheCLibrarys) {
    int differing = 0;
    for (int err = kLowest; err <= kHighest; ++err) {
        const std::string ours = strerror(err);
        if (ours != expected(err) && ++differing <= 10)
            ADD_FAILURE() << "strerror(" << err << "): ours \"" << ours << "\", C library \""
                          << expected(err) << "\"";
    }
    EXPECT_EQ(0, differing);
}

TEST(Strerror, EdgeNumbers) {
    const struct {
        int err;
        const char *text;
    } cases[] = {
        {0, "Success"},
        {EPERM, "Operation not permitted"},
        {EINVAL, "Invalid argument"},
        {-1, "Unknown error -1"},
        {41, "Unknown error 41"},  // below the last known number, without a text
        {INT_MIN, "Unknown error -2147483648"},
        {INT_MAX, "Unknown error 2147483647"},
    };
    for (const auto &c : cases) {
        EXPECT_BYTES(c.text, strerror(c.err)) << "strerror(" << c.err << ")";
        EXPECT_EQ(libcText(c.err), strerror(c.err)) << "strerror(" << c.err << ")";
    }
    // The first number past the table: the C library has no text for it either.
    const int count = kErrCount;
    EXPECT_EQ("Unknown error " + std::to_string(count), strerror(count));
    EXPECT_NE(std::string("Unknown error ") + std::to_string(count - 1), strerror(count - 1));
}

// A known text is copied with a bound of 255 bytes and zero padding; byte 255 is zero.
TEST(Strerror, KnownTextIsZeroPaddedAndTerminatedAtByte255) {
    char *buf = strerror(EPERM);
    std::memset(buf, 'x', kBufSize);  // our own thread's buffer: overwriting it is allowed here
    ASSERT_EQ(buf, strerror(EINVAL));
    const std::size_t len = std::strlen("Invalid argument");
    EXPECT_BYTES("Invalid argument", std::string(buf, len));
    EXPECT_BYTES(std::string(kBufSize - len, '\0'), std::string(buf + len, kBufSize - len));
}

TEST(Strerror, OneThreadOneAddressAndTheLaterTextReplacesTheEarlier) {
    char *first = strerror(EPERM);
    EXPECT_STREQ("Operation not permitted", first);
    char *second = strerror(-7);
    EXPECT_EQ(first, second);
    EXPECT_STREQ("Unknown error -7", first);
    EXPECT_EQ(first, strerror(ENOENT));
    EXPECT_STREQ("No such file or directory", first);
}

// Threads alive at the same time each get their own buffer and keep their own text.
TEST(Strerror, LiveThreadsGetDifferentAddresses) {
    constexpr int kThreads = 8;
    std::barrier allCalled(kThreads + 1);
    std::barrier allChecked(kThreads + 1);
    std::vector<char *> addresses(kThreads);
    std::vector<std::string> afterwards(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            addresses[t] = strerror(t + 1);
            allCalled.arrive_and_wait();  // every thread has made its call
            allCalled.arrive_and_wait();  // and the main thread has made its own
            afterwards[t] = addresses[t];
            allChecked.arrive_and_wait();  // keep the thread, and so its buffer, alive
        });
    allCalled.arrive_and_wait();
    char *mine = strerror(-1);
    allCalled.arrive_and_wait();
    allChecked.arrive_and_wait();
    for (auto &thread : threads)
        thread.join();

    std::set<char *> distinct(addresses.begin(), addresses.end());
    distinct.insert(mine);
    EXPECT_EQ(static_cast<std::size_t>(kThreads + 1), distinct.size());
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(expected(t + 1), afterwards[t]) << "thread " << t;
    EXPECT_STREQ("Unknown error -1", mine);
}

TEST(Strerror, TextSurvivesAnotherThreadsCalls) {
    char *mine = strerror(EINVAL);
    char *theirs = nullptr;
    std::string theirText;
    std::thread other([&] {
        for (int err = kLowest; err <= kHighest; ++err)
            theirs = strerror(err);
        theirs = strerror(EPERM);
        theirText = theirs;
    });
    other.join();
    EXPECT_NE(mine, theirs);
    EXPECT_STREQ("Invalid argument", mine);
    EXPECT_EQ("Operation not permitted", theirText);
}

// Many threads at once, each with its own changing sequence of known and unknown numbers,
// each checking after every call that the text is the one it just asked for.
TEST(Strerror, ManyThreadsEachReadTheirOwnLatestText) {
    constexpr int kThreads = 32;
    constexpr int kCalls = 100000;
    libcTexts();  // computed before the threads start
    std::atomic<int> wrong{0}, moved{0};
    std::barrier start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            char *own = strerror(t);
            for (int i = 0; i < kCalls; ++i) {
                // Steps through -1000..1000 from a different place and stride per thread.
                const int err = kLowest + (t * 61 + i * (2 * t + 1)) % (kHighest - kLowest + 1);
                char *text = strerror(err);
                if (text != own)
                    ++moved;
                if (expected(err) != text)
                    ++wrong;
            }
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(0, wrong.load()) << "calls that read another text than their own";
    EXPECT_EQ(0, moved.load()) << "calls that returned another address than the thread's first";
}

}  // namespace
