// mq-sender and mq-receiver on "/mymq": the message's bytes, length and priority, the order in
// which messages leave the queue, waiting on a full or empty queue, and every failure path a
// user can meet (no queue, a queue they may not use, a message size too small).
#include <sys/ioctl.h>

#include <csignal>

#include "mq-test-util.hpp"

namespace {

using harness::binPath;
using harness::Options;
using mqtest::PosixMq;
using namespace std::chrono_literals;

constexpr std::string_view kQueue = "/mymq";
constexpr std::string_view kMessage{"writing message to queue\0", 25};

// "/mymq" made as the system makes it: by mq-signal-watch, stopped before anything is sent so
// that nothing reads the queue but the receiver.
void createByWatcher() {
    harness::Process watcher(binPath("mq-signal-watch"), Options{.pty = true});
    // The queue is made first thing; under the emulator the registration itself fails later.
    ASSERT_TRUE(harness::waitUntil([&] { return mqtest::state(kQueue).exists; }));
}

TEST_F(PosixMq, SenderLeavesOneMessageThatTheReceiverTakes) {
    createByWatcher();
    const auto sent = harness::run(binPath("mq-sender"));
    EXPECT_GOLDEN(sent, "posix-mq/golden/silent");
    EXPECT_EQ(25, mqtest::state(kQueue).qsize);
    EXPECT_EQ(1, mqtest::attributes(kQueue).mq_curmsgs);

    // On a pipe the report line waits in the stdio buffer until exit: it comes last.
    EXPECT_GOLDEN(harness::run(binPath("mq-receiver")), "posix-mq/golden/receiver-pipe");
    EXPECT_EQ(0, mqtest::state(kQueue).qsize);

    // On a terminal it is flushed at its newline: it comes first.
    harness::run(binPath("mq-sender"));
    EXPECT_GOLDEN(harness::run(binPath("mq-receiver"), {}, Options{.pty = true}),
                  "posix-mq/golden/receiver-tty");
    EXPECT_EQ(0, mqtest::attributes(kQueue).mq_curmsgs);
}

TEST_F(PosixMq, ReceiverTakesHighestPriorityFirstAndOldestAmongEquals) {
    ASSERT_NO_FATAL_FAILURE(mqtest::create(kQueue, 10, 8192));
    const struct {
        std::string_view bytes;
        unsigned priority;
    } sent[] = {{"low", 1}, {"first of two", 70}, {"", 50}, {"second of two", 70}, {"top", 99}};
    for (const auto &m : sent)
        mqtest::send(kQueue, m.bytes, m.priority);

    const char *expected[] = {
        "top\nRead 3 bytes; priority = 99\n",
        "first of two\nRead 12 bytes; priority = 70\n",
        "second of two\nRead 13 bytes; priority = 70\n",
        "\nRead 0 bytes; priority = 50\n",
        "low\nRead 3 bytes; priority = 1\n",
    };
    long left = 5;
    for (const char *out : expected) {
        const auto got = harness::run(binPath("mq-receiver"));
        EXPECT_BYTES(out, got.out);
        EXPECT_BYTES("", got.err);
        EXPECT_EQ(--left, mqtest::attributes(kQueue).mq_curmsgs) << "one message per run";
    }
}

TEST_F(PosixMq, ReceiverWaitsOnAnEmptyQueueUntilAMessageComes) {
    ASSERT_NO_FATAL_FAILURE(mqtest::create(kQueue, 10, 8192));
    harness::Process receiver(binPath("mq-receiver"));
    receiver.drainFor(300ms);
    ASSERT_FALSE(receiver.ended()) << receiver.err();
    EXPECT_EQ("", receiver.out());

    EXPECT_GOLDEN(harness::run(binPath("mq-sender")), "posix-mq/golden/silent");
    const auto status = receiver.wait();
    ASSERT_TRUE(status);
    EXPECT_EQ("exit status 0", status->describe());
    EXPECT_BYTES(std::string(kMessage) + "\nRead 25 bytes; priority = 50\n", receiver.out());
    EXPECT_EQ(0, mqtest::state(kQueue).qsize);
}

// A stop signal during a write to a full pipe cuts the write short; the receiver carries on
// with the rest once continued, so a message of the queue's largest size arrives whole.
TEST_F(PosixMq, FullSizeMessageThroughAStoppedPipeArrivesWhole) {
    constexpr long kSize = 8192;      // the queue's largest message
    constexpr int kPipeBytes = 4096;  // the smallest a pipe can be: it holds half the message
    ASSERT_NO_FATAL_FAILURE(mqtest::create(kQueue, 10, kSize));
    std::string message;
    for (long i = 0; i < kSize; i++)
        message += static_cast<char>('a' + i % 26);
    mqtest::send(kQueue, message, 5);

    harness::Process receiver(binPath("mq-receiver"), Options{.startStopped = true});
    // A descriptor of our own on the receiver's output pipe, to shrink it and see it fill. The
    // harness reads the pipe only when asked, so nothing empties it meanwhile.
    const std::string output = "/proc/" + std::to_string(receiver.pid()) + "/fd/1";
    const harness::Fd pipe(open(output.c_str(), O_RDONLY | O_NONBLOCK));
    ASSERT_TRUE(pipe) << output << ": " << strerror(errno);
    ASSERT_EQ(kPipeBytes, fcntl(pipe.get(), F_SETPIPE_SZ, kPipeBytes)) << strerror(errno);
    receiver.resume();
    int queued = 0;
    ASSERT_TRUE(harness::waitUntil([&] {
        return ioctl(pipe.get(), FIONREAD, &queued) == 0 && queued == kPipeBytes;
    })) << queued
        << " bytes in the pipe";
    // The receiver waits in its write with half the message written: stopped now, the write
    // returns that half.
    receiver.signal(SIGSTOP);
    ASSERT_TRUE(harness::waitUntil([&] { return receiver.state() == 'T'; }));
    receiver.signal(SIGCONT);
    const auto status = receiver.wait();
    ASSERT_TRUE(status);
    EXPECT_EQ("exit status 0", status->describe());
    EXPECT_BYTES(message + "\nRead 8192 bytes; priority = 5\n", receiver.out());
    EXPECT_BYTES("", receiver.err());
}

TEST_F(PosixMq, SenderWaitsOnAFullQueueUntilOneIsTaken) {
    ASSERT_NO_FATAL_FAILURE(mqtest::create(kQueue, 1, 8192));
    mqtest::send(kQueue, "filler", 7);
    harness::Process sender(binPath("mq-sender"));
    sender.drainFor(300ms);
    ASSERT_FALSE(sender.ended()) << "a full queue must make the send wait: " << sender.err();

    EXPECT_BYTES("filler\nRead 6 bytes; priority = 7\n", harness::run(binPath("mq-receiver")).out);
    const auto status = sender.wait();
    ASSERT_TRUE(status);
    EXPECT_EQ("exit status 0", status->describe());
    EXPECT_EQ("", sender.err());
    EXPECT_EQ(25, mqtest::state(kQueue).qsize);
}

TEST_F(PosixMq, WithoutTheQueueBothReportAndEndWithStatusZero) {
    EXPECT_GOLDEN(harness::run(binPath("mq-sender")), "posix-mq/golden/sender-no-queue");
    EXPECT_GOLDEN(harness::run(binPath("mq-receiver")), "posix-mq/golden/receiver-no-queue");
    EXPECT_FALSE(mqtest::state(kQueue).exists) << "neither may create the queue";
}

TEST_F(PosixMq, SenderReportsAMessageSizeBelow25Bytes) {
    ASSERT_NO_FATAL_FAILURE(mqtest::create(kQueue, 10, 24));
    EXPECT_GOLDEN(harness::run(binPath("mq-sender")), "posix-mq/golden/sender-too-long");
    EXPECT_EQ(0, mqtest::state(kQueue).qsize);
}

TEST_F(PosixMq, UserWhoMayNotUseTheQueue) {
    HARNESS_NEEDS_OTHER_USERS();
    ASSERT_NO_FATAL_FAILURE(mqtest::create(kQueue, 10, 8192, 0600));
    mqtest::send(kQueue, "for root only", 3);
    EXPECT_GOLDEN(harness::run(binPath("mq-sender"), {}, Options{.asNobody = true}),
                  "posix-mq/golden/sender-nobody");
    EXPECT_GOLDEN(harness::run(binPath("mq-receiver"), {}, Options{.asNobody = true}),
                  "posix-mq/golden/receiver-nobody");
    EXPECT_EQ(13, mqtest::state(kQueue).qsize) << "nothing taken, nothing added";
}

}  // namespace
