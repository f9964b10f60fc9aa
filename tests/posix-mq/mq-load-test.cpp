// Both kinds of watcher under load: four writers send 2,500 messages each to "/my_mq" at once
// while the watcher drains. Every message has its own size (0 to 9,999 bytes), so the
// "Read N bytes" lines show that each one was reported exactly once.
#include <vector>

#include "mq-test-util.hpp"

namespace {

using harness::binPath;
using harness::Options;
using mqtest::PosixMq;
using namespace std::chrono_literals;

constexpr std::string_view kQueue = "/my_mq";
constexpr int kWriters = 4;
constexpr int kPerWriter = 2500;
constexpr int kMessages = kWriters * kPerWriter;
constexpr auto kLoadTimeout = 240s;

class Load : public PosixMq, public testing::WithParamInterface<const char *> {};

TEST_P(Load, EveryMessageIsReportedExactlyOnce) {
    // Room for the largest size (above the default limit, raised in this IPC namespace only);
    // the watcher takes the size from the queue it finds.
    harness::writeFile("/proc/sys/fs/mqueue/msgsize_max", std::to_string(kMessages));
    ASSERT_NO_FATAL_FAILURE(mqtest::create(kQueue, 10, kMessages));
    START_WATCHER(watcher, GetParam(), kQueue);

    std::vector<harness::Process> writers;
    for (int w = 0; w < kWriters; ++w) {
        const std::string sizes =
            std::to_string(w * kPerWriter) + "-" + std::to_string((w + 1) * kPerWriter - 1);
        writers.emplace_back(binPath("my-mq-writer"),
                             Options{.args = {std::to_string(kPerWriter), sizes}});
    }

    // Count report lines as they come, without rescanning what was already counted.
    std::size_t scanned = 0, reported = 0;
    const bool all = watcher.waitFor(
        [&] {
            const std::string &out = watcher.out();
            for (std::size_t at; (at = out.find("Read ", scanned)) != std::string::npos;) {
                ++reported;
                scanned = at + 5;
            }
            return reported >= static_cast<std::size_t>(kMessages);
        },
        kLoadTimeout);
    for (auto &writer : writers) {
        const auto status = writer.wait(kLoadTimeout);
        ASSERT_TRUE(status);
        EXPECT_EQ("exit status 0", status->describe()) << writer.err();
    }
    ASSERT_TRUE(all) << reported << " of " << kMessages << " reported";
    watcher.drainFor(200ms);

    std::vector<int> times(kMessages, 0);
    int signals = 0, other = 0;
    const std::string &out = watcher.out();
    for (std::size_t at = 0; at < out.size();) {
        const auto end = out.find('\n', at);
        const std::string line = out.substr(at, end - at);
        at = end == std::string::npos ? out.size() : end + 1;
        int size = -1;
        char rest = 0;
        if (line.empty())
            continue;  // the blank line before " Singal "
        if (line == " Singal ")
            ++signals;
        else if (std::sscanf(line.c_str(), "Read %d bytes%c", &size, &rest) == 1 && size >= 0 &&
                 size < kMessages && line == "Read " + std::to_string(size) + " bytes")
            ++times[static_cast<std::size_t>(size)];
        else
            ++other;
    }
    EXPECT_EQ(0, other) << "unexpected lines";
    for (int size = 0; size < kMessages; ++size)
        EXPECT_EQ(1, times[static_cast<std::size_t>(size)]) << "message of " << size << " bytes";
    if (std::string_view(GetParam()).starts_with("mq-signal-watch")) {
        EXPECT_GE(signals, 1);
        EXPECT_LE(signals, kMessages);
    } else {
        EXPECT_EQ(0, signals);
    }
    EXPECT_EQ(0, mqtest::state(kQueue).qsize);
    EXPECT_TRUE(mqtest::registeredBy(kQueue, watcher.pid())) << "still watching";
    EXPECT_EQ("", watcher.err());
    RecordProperty("signals", signals);
}

INSTANTIATE_TEST_SUITE_P(Watchers, Load,
                         testing::Values("mq-signal-watch-my_mq", "mq-thread-watch"),
                         [](const auto &info) {
                             return std::string(info.param) == "mq-thread-watch" ? "thread"
                                                                                 : "signal";
                         });

}  // namespace
