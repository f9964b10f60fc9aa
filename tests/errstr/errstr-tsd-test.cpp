// errstr-tsd only: when it allocates and frees. The program is linked with --wrap=malloc and
// --wrap=free, so every malloc and free that the object (or this test) calls passes through
// the counters below; the C library's own allocations do not.
#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/allocator_interface.h>
#endif

#include "check.hpp"

extern "C" void *__real_malloc(std::size_t size);
extern "C" void __real_free(void *block);

namespace {

constexpr std::size_t kBufSize = 256;

thread_local int tMallocs = 0;  // this thread's mallocs
thread_local void *tLastMalloc = nullptr;
thread_local bool tFailNextMalloc = false;
std::atomic<long> gMallocs{0}, gFrees{0};
std::atomic<void *> gLastFreed{nullptr};

}  // namespace

extern "C" void *__wrap_malloc(std::size_t size) {
    if (tFailNextMalloc) {
        tFailNextMalloc = false;
        errno = ENOMEM;
        return nullptr;
    }
    void *block = __real_malloc(size);
    ++tMallocs;
    tLastMalloc = block;
    ++gMallocs;
    return block;
}

extern "C" void __wrap_free(void *block) {
    if (block != nullptr) {
        ++gFrees;
        gLastFreed = block;
    }
    __real_free(block);
}

namespace {

// Bytes the heap holds for the program now.
std::size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

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

TEST(StrerrorTsd, TenThousandShortLivedThreadsLeaveTheHeapAsItWas) {
    constexpr int kThreads = 10000;
    constexpr int kAtOnce = 8;
    strerror(0);
    constexpr int kNumbers = 150;  // known numbers and a few unknown ones past them
    std::vector<std::string> texts;
    for (int err = 0; err < kNumbers; ++err) {
        const char *text = strerrordesc_np(err);
        texts.push_back(text ? text : "Unknown error " + std::to_string(err));
    }
    const long mallocs = gMallocs, frees = gFrees;
    const std::size_t heapBefore = heapInUse();
    std::atomic<int> wrong{0};
    for (int started = 0; started < kThreads; started += kAtOnce) {
        std::thread batch[kAtOnce];
        for (int i = 0; i < kAtOnce; ++i)
            batch[i] = std::thread([&, err = (started + i) % kNumbers] {
                if (texts[err] != strerror(err))
                    ++wrong;
            });
        for (auto &thread : batch)
            thread.join();
    }
    const std::size_t heapAfter = heapInUse();
    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(kThreads, gMallocs - mallocs);
    EXPECT_EQ(kThreads, gFrees - frees);
    // Kept buffers would add kThreads * kBufSize (2.5 MB); allow a little allocator noise.
    EXPECT_LT(heapAfter, heapBefore + kThreads * kBufSize / 10)
        << "heap in use grew from " << heapBefore << " to " << heapAfter << " bytes";
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
    EXPECT_EQ("exit 0", result.status.describe());
}

}  // namespace
