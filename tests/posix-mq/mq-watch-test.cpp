// The watchers: mq-signal-watch (both builds) and mq-thread-watch. Each reports every message
// once, whether it arrives while the watcher waits or already stands in the queue; the
// registration they hold shows in /dev/mqueue; a second watcher, a stray SIGUSR1 and a queue
// the user may not read end them with the statuses users see.
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <vector>

#include "mq-test-util.hpp"

namespace {

using harness::binPath;
using harness::Options;
using mqtest::PosixMq;
using namespace std::chrono_literals;

constexpr std::string_view kMymq = "/mymq";
constexpr std::string_view kMyMq = "/my_mq";
constexpr std::string_view kSignalLines = "\n Singal \n";
constexpr int kSigusr1 = 10;
constexpr int kSigevSignal = 0, kSigevThread = 2;

harness::Result writeMyMq(std::vector<std::string> args) {
    return harness::run(binPath("my-mq-writer"), {}, Options{.args = std::move(args)});
}

// The "Read N bytes" lines, sorted: two drains may overlap in mq-thread-watch, so the order of
// lines is not the order of sending.
std::vector<std::string> readLines(std::string_view out) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while ((at = out.find("Read ", at)) != std::string_view::npos) {
        const auto end = out.find('\n', at);
        lines.emplace_back(out.substr(at, end - at));
        at = end;
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST_F(PosixMq, SignalWatchCreatesMymqAndReportsEachSenderRun) {
    START_WATCHER(watcher, "mq-signal-watch", kMymq);
    struct stat st = {};
    ASSERT_EQ(0, stat(mqtest::path(kMymq).c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 07777);
    const mq_attr attr = mqtest::attributes(kMymq);
    EXPECT_EQ(10, attr.mq_maxmsg);
    EXPECT_EQ(8192, attr.mq_msgsize);
    const auto registered = mqtest::state(kMymq);
    EXPECT_EQ(kSigevSignal, registered.notify);
    EXPECT_EQ(kSigusr1, registered.signo);

    std::string expected;
    for (int run = 0; run < 3; ++run) {
        EXPECT_EQ("exit status 0", harness::run(binPath("mq-sender")).status.describe());
        expected += std::string(kSignalLines) + "Read 25 bytes\n";
        ASSERT_TRUE(watcher.waitForOutput(expected)) << harness::visible(watcher.out());
        // Drained and registered again for the next run.
        ASSERT_TRUE(harness::waitUntil([&] { return mqtest::registeredBy(kMymq, watcher.pid()); }));
        EXPECT_EQ(0, mqtest::state(kMymq).qsize);
    }
    watcher.drainFor(100ms);
    EXPECT_BYTES(expected, watcher.out());
    EXPECT_EQ("", watcher.err());
    EXPECT_FALSE(watcher.ended());
}

TEST_F(PosixMq, Sigusr1ByHandEndsTheSignalWatchWithEbusy) {
    START_WATCHER(watcher, "mq-signal-watch", kMymq);
    watcher.signal(SIGUSR1);
    const auto status = watcher.wait();
    ASSERT_TRUE(status);
    EXPECT_EQ("exit status 16", status->describe());
    EXPECT_BYTES(kSignalLines, watcher.out());
    EXPECT_BYTES("mq_notify: Device or resource busy\n", watcher.err());
}

// Messages that stand in the queue when a watcher registers raise no notification; the
// watcher still reads them at once, without a further message to wake it.
struct Watcher {
    const char *program;
    std::string_view queue;
};
const Watcher kWatchers[] = {
    {"mq-signal-watch", kMymq}, {"mq-signal-watch-my_mq", kMyMq}, {"mq-thread-watch", kMyMq}};

TEST_F(PosixMq, MessagesStandingAtStartUpAreReadWithoutANotification) {
    for (const auto &w : kWatchers) {
        SCOPED_TRACE(w.program);
        ASSERT_NO_FATAL_FAILURE(mqtest::create(w.queue, 10, 8192));
        for (const std::string_view m : {"one", "three", "seven"})
            mqtest::send(w.queue, m, 1);
        START_WATCHER(watcher, w.program, w.queue);
        ASSERT_TRUE(harness::waitUntil([&] { return mqtest::state(w.queue).qsize == 0; }));
        ASSERT_TRUE(watcher.waitForLines(3)) << harness::visible(watcher.out());
        watcher.drainFor(100ms);
        EXPECT_BYTES("Read 3 bytes\nRead 5 bytes\nRead 5 bytes\n", watcher.out());
        EXPECT_TRUE(mqtest::registeredBy(w.queue, watcher.pid()));
        mq_unlink(std::string(w.queue).c_str());
    }
}

TEST_F(PosixMq, ThreadWatchReportsEachMessageOnItsOwnThreads) {
    START_WATCHER(watcher, "mq-thread-watch", kMyMq);
    struct stat st = {};
    ASSERT_EQ(0, stat(mqtest::path(kMyMq).c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 07777);
    EXPECT_EQ(8192, mqtest::attributes(kMyMq).mq_msgsize);
    EXPECT_EQ(kSigevThread, mqtest::state(kMyMq).notify);
    const auto threads = [&] {
        std::error_code ec;
        const auto dir = "/proc/" + std::to_string(watcher.pid()) + "/task";
        return std::distance(std::filesystem::directory_iterator(dir, ec),
                             std::filesystem::directory_iterator());
    };
    const auto waiting = threads();  // main thread and the C library's helper

    EXPECT_EQ("exit status 0", writeMyMq({"1", "17"}).status.describe());
    ASSERT_TRUE(watcher.waitForOutput("Read 17 bytes\n")) << harness::visible(watcher.out());
    ASSERT_TRUE(harness::waitUntil([&] { return mqtest::registeredBy(kMyMq, watcher.pid()); }));
    EXPECT_TRUE(harness::waitUntil([&] { return threads() == waiting; }))
        << "notification threads must end: " << threads() << " threads, " << waiting
        << " while waiting";

    EXPECT_EQ("exit status 0", writeMyMq({"4", "0-3"}).status.describe());
    ASSERT_TRUE(watcher.waitForLines(5)) << harness::visible(watcher.out());
    watcher.drainFor(100ms);
    EXPECT_EQ((std::vector<std::string>{"Read 0 bytes", "Read 1 bytes", "Read 17 bytes",
                                        "Read 2 bytes", "Read 3 bytes"}),
              readLines(watcher.out()));
    EXPECT_EQ(5, std::count(watcher.out().begin(), watcher.out().end(), '\n'));
    EXPECT_EQ("", watcher.err());
    EXPECT_EQ(0, mqtest::state(kMyMq).qsize);
}

// On a pipe each line is there as soon as it is printed, and killing a watcher loses none.
TEST_F(PosixMq, WatchersOnAPipeLoseNoLineWhenKilled) {
    const struct {
        const char *program;
        std::string_view queue;
        std::string lines;
    } watchers[] = {
        {"mq-signal-watch", kMymq, std::string(kSignalLines) + "Read 25 bytes\n"},
        {"mq-thread-watch", kMyMq, "Read 25 bytes\n"},
    };
    for (const auto &w : watchers) {
        SCOPED_TRACE(w.program);
        harness::Process watcher(binPath(w.program), Options{});
        const std::string why = mqtest::awaitRegistration(watcher, w.queue);
        if (why.starts_with("skip: "))
            HARNESS_SKIP("a 32-bit kernel", why.substr(6));
        ASSERT_EQ("", why);
        if (w.queue == kMymq)
            EXPECT_EQ("exit status 0", harness::run(binPath("mq-sender")).status.describe());
        else
            EXPECT_EQ("exit status 0", writeMyMq({"1", "25"}).status.describe());
        EXPECT_TRUE(watcher.waitForOutput(w.lines)) << harness::visible(watcher.out());
        watcher.signal(SIGTERM);
        ASSERT_TRUE(watcher.wait());
        EXPECT_BYTES(w.lines, watcher.out());
        mq_unlink(std::string(w.queue).c_str());
    }
}

TEST_F(PosixMq, SecondWatcherOnAQueueEndsWithEbusyAndTheFirstGoesOn) {
    const struct {
        const char *first, *second;
        std::string_view queue;
        const char *status;
    } cases[] = {
        {"mq-thread-watch", "mq-signal-watch-my_mq", kMyMq, "exit status 16"},
        {"mq-signal-watch-my_mq", "mq-thread-watch", kMyMq, "exit status 1"},
        {"mq-signal-watch", "mq-signal-watch", kMymq, "exit status 16"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.first) + " then " + c.second);
        START_WATCHER(first, c.first, c.queue);
        const auto second = harness::run(binPath(c.second));
        EXPECT_EQ(c.status, second.status.describe());
        EXPECT_BYTES("", second.out);
        EXPECT_BYTES("mq_notify: Device or resource busy\n", second.err);
        EXPECT_TRUE(mqtest::registeredBy(c.queue, first.pid()));

        // The holder still gets its messages.
        if (c.queue == kMyMq)
            writeMyMq({"1", "9"});
        else
            harness::run(binPath("mq-sender"));
        const std::string line = c.queue == kMyMq ? "Read 9 bytes\n" : "Read 25 bytes\n";
        EXPECT_TRUE(first.waitForOutput(line)) << harness::visible(first.out());
        mq_unlink(std::string(c.queue).c_str());
    }
}

TEST_F(PosixMq, WatchersAsAUserWhoMayNotReadTheQueue) {
    HARNESS_NEEDS_OTHER_USERS();
    ASSERT_NO_FATAL_FAILURE(mqtest::create(kMymq, 10, 8192, 0600));
    ASSERT_NO_FATAL_FAILURE(mqtest::create(kMyMq, 10, 8192, 0600));
    const struct {
        const char *program;
        const char *status;
    } cases[] = {{"mq-signal-watch", "exit status 13"},
                 {"mq-signal-watch-my_mq", "exit status 13"},
                 {"mq-thread-watch", "exit status 1"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.program);
        const auto got = harness::run(binPath(c.program), {}, Options{.asNobody = true});
        EXPECT_EQ(c.status, got.status.describe());
        EXPECT_BYTES("", got.out);
        EXPECT_BYTES("mq_open: Permission denied\n", got.err);
    }
}

// AddressSanitizer's shadow memory cannot live within a small RLIMIT_DATA, so this case is not
// part of the sanitize build.
#if !defined(__SANITIZE_ADDRESS__)
TEST_F(PosixMq, WithoutMemoryForTheBufferNoMessageIsTaken) {
    HARNESS_NEEDS_OTHER_USERS();
    if (harness::emulated())
        HARNESS_SKIP("a 32-bit kernel", "qemu-i386 itself cannot start within a small RLIMIT_DATA");
    // A queue whose message size is more than the program may allocate, with one message
    // standing. Queue memory is counted per user across all IPC namespaces (800 KiB each), so
    // nobody owns these big queues, one at a time, leaving root's share to other tests.
    constexpr long kBigSize = 350000;
    constexpr rlim_t kData = 256 * 1024;
    harness::writeFile("/proc/sys/fs/mqueue/msgsize_max", std::to_string(kBigSize));
    const struct {
        const char *program;
        std::string_view queue;
        const char *out;
        const char *status;
    } cases[] = {{"mq-receiver", kMymq, "\nRead -1 bytes; priority = 50\n", "exit status 0"},
                 {"mq-signal-watch", kMymq, "", "exit status 12"},
                 {"mq-signal-watch-my_mq", kMyMq, "", "exit status 12"},
                 {"mq-thread-watch", kMyMq, "", "exit status 1"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.program);
        ASSERT_NO_FATAL_FAILURE(mqtest::create(c.queue, 1, kBigSize, 0600, mqtest::kNobody));
        mqtest::send(c.queue, "standing", 5);
        const auto got =
            harness::run(binPath(c.program), {}, Options{.limits = {{RLIMIT_DATA, kData}}});
        EXPECT_EQ(c.status, got.status.describe());
        EXPECT_BYTES(c.out, got.out);
        EXPECT_BYTES("malloc: Cannot allocate memory\n", got.err);
        EXPECT_EQ(8, mqtest::state(c.queue).qsize) << "the message must stay";
        mq_unlink(std::string(c.queue).c_str());
    }
}
#endif

TEST_F(PosixMq, AnyUserMayCreateAWatchedQueue) {
    HARNESS_NEEDS_OTHER_USERS();
    // The chosen attributes are within what an ordinary user may ask for.
    for (const auto &w : {kWatchers[0], kWatchers[2]}) {
        SCOPED_TRACE(w.program);
        START_WATCHER(watcher, w.program, w.queue, .asNobody = true);
        struct stat st = {};
        ASSERT_EQ(0, stat(mqtest::path(w.queue).c_str(), &st));
        EXPECT_EQ(65534u, st.st_uid);
        EXPECT_EQ(10, mqtest::attributes(w.queue).mq_maxmsg);
    }
}

}  // namespace
