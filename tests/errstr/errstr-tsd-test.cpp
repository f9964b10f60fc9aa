// errstr-tsd only: when it allocates and frees (counted through malloc-count), what it does
// without memory, and without a key.
#include <malloc.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include "check.hpp"
#include "malloc-count.hpp"

namespace {

using namespace malloc_count;

TEST(StrerrorTsd, FirstCallInAThreadAllocatesLaterCallsDoNot) {
    std::thread thread([] {
        const int before = tMallocs;
        char *first = strerror(EPERM);
        EXPECT_EQ(before + 1, tMallocs);
        EXPECT_EQ(tLastMalloc, first);
        EXPECT_GE(malloc_usable_size(first), kBufSize);
        for (int err = -5; err < 200; ++err)
            EXPECT_EQ(first, strerror(err));
        EXPECT_EQ(before + 1, tMallocs);
    });
    thread.join();
}

TEST(StrerrorTsd, EndingThreadFreesItsBuffer) {
    void *buffer = nullptr;
    const long frees = gFrees;
    std::thread thread([&] { buffer = strerror(EINVAL); });
    thread.join();
    EXPECT_EQ(frees + 1, gFrees.load());
    EXPECT_EQ(buffer, gLastFreed.load());
}

// A thread that never calls strerror has nothing to free.
TEST(StrerrorTsd, ThreadWithoutACallAllocatesNothing) {
    strerror(0);  // the key exists already
    const long mallocs = gMallocs, frees = gFrees;
    std::thread thread([] {});
    thread.join();
    EXPECT_EQ(mallocs, gMallocs.load());
    EXPECT_EQ(frees, gFrees.load());
}

// Without memory for its buffer a thread still gets the right text, read-only and not
// formatted; its next call, with memory again, gets a buffer of its own.
TEST(StrerrorTsd, FailedAllocationIsReportedAndGivesAFixedText) {
    strerror(0);
    std::string known, unknown, later;
    char *firstBuffer = nullptr;
    testing::internal::CaptureStderr();
    std::thread thread([&] {
        tFailNextMalloc = true;
        known = strerror(EINVAL);
        tFailNextMalloc = true;
        unknown = strerror(-3);
        firstBuffer = strerror(EPERM);
        later = firstBuffer;
    });
    thread.join();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ("Invalid argument", known);
    EXPECT_EQ("Unknown error", unknown);
    EXPECT_EQ("Operation not permitted", later);
    EXPECT_BYTES("malloc: Cannot allocate memory\nmalloc: Cannot allocate memory\n", err);
    EXPECT_EQ(firstBuffer, gLastFreed.load());
}

}  // namespace

namespace {

// When no key can be made, the failure is reported once and every call still gets the right
// read-only text (no buffer: an unknown number cannot be formatted).
TEST(StrerrorTsdProcess, NoKeyLeftIsReportedOnceAndTextsStillCome) {
    const auto result = harness::run(ERRSTR_HELPER_DIR "/errstr-tsd-nokey");
    EXPECT_BYTES("Invalid argument\nUnknown error\n", result.out);
    EXPECT_BYTES("pthread_key_create: Resource temporarily unavailable\n", result.err);
    EXPECT_EQ("exit status 0", result.status.describe());
}

}  // namespace
