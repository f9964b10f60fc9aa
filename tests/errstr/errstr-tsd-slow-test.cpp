// errstr-tsd over 10,000 short-lived threads: every buffer made is freed when its thread
// ends, and the heap holds no more afterwards than before.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "check.hpp"
#include "malloc-count.hpp"

namespace {

using namespace malloc_count;

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

}  // namespace
