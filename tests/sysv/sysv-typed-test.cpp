// sysv-typed-sender and the two typed receivers on the System V queue with key 8979: the
// lines they print and what the queue holds afterwards (/proc/sysvipc/msg and the messages
// themselves). Each case runs in its own IPC namespace, so the key is its own.
#include "check.hpp"
#include "sysv-queues.hpp"

namespace {

using namespace sysvtest;
using namespace std::chrono_literals;

const std::string kA(kText, 'a'), kB(kText, 'b'), kBlank(kText, ' ');

harness::Result run(const char *name, harness::Options options = {}) {
    return harness::run(harness::binPath(name), {}, std::move(options), kRunTimeout);
}

harness::Options asNobody() {
    return harness::Options{.asNobody = true};
}

// The identifier of queue 8979, which must exist.
int queueId() {
    const auto q = procQueue(kKey);
    if (!q)
        throw std::runtime_error("no queue with key 8979");
    return q->msqid;
}

// Wait until the program sleeps in a receive (false if it ends or never does).
bool waitsInReceive(harness::Process &p) {
    return harness::waitUntil([&] { return p.ended() || wchan(p.pid()) == "do_msgrcv"; },
                              kRunTimeout) &&
           !p.ended();
}

class TypedQueue : public testing::Test {
  protected:
    void SetUp() override { HARNESS_ISOLATE(harness::kIpc | harness::kMount); }
};

TEST_F(TypedQueue, SenderCreatesModeZeroQueueWithTypeTenThenTwenty) {
    ASSERT_FALSE(procQueue(kKey));
    EXPECT_GOLDEN(run("sysv-typed-sender"), "sysv/golden/sender-sent");
    const auto q = procQueue(kKey);
    ASSERT_TRUE(q);
    EXPECT_EQ(0u, q->perms);
    EXPECT_EQ(2u, q->qnum);
    EXPECT_EQ(2 * kText, q->cbytes);  // the text alone: the type is not counted
    const std::vector<Message> expected{{10, kA}, {20, kB}};
    EXPECT_EQ(expected, drain(q->msqid));
}

TEST_F(TypedQueue, EachReceiverTakesBothMessagesInItsOwnOrder) {
    const struct {
        const char *program, *golden;
    } receivers[] = {
        {"sysv-typed-receiver-a", "sysv/golden/receiver-a"},
        {"sysv-typed-receiver-b", "sysv/golden/receiver-b"},
    };
    for (const auto &receiver : receivers) {
        SCOPED_TRACE(receiver.program);
        EXPECT_GOLDEN(run("sysv-typed-sender"), "sysv/golden/sender-sent");
        EXPECT_GOLDEN(run(receiver.program), receiver.golden);
        const auto q = procQueue(kKey);
        ASSERT_TRUE(q);
        EXPECT_EQ(0u, q->qnum);
        EXPECT_EQ(0u, q->cbytes);
    }
}

TEST_F(TypedQueue, ReceiverAStartedFirstWaitsForEachTypeInTurn) {
    harness::Process receiver(harness::binPath("sysv-typed-receiver-a"), {.pty = true});
    ASSERT_TRUE(waitsInReceive(receiver)) << wchan(receiver.pid());
    const auto q = procQueue(kKey);  // made by the receiver: mode 000
    ASSERT_TRUE(q);
    EXPECT_EQ(0u, q->perms);

    put(q->msqid, 10, std::string(kText, 'x'));
    ASSERT_TRUE(receiver.waitForLines(1, kRunTimeout)) << receiver.out();
    ASSERT_TRUE(waitsInReceive(receiver));  // now for type 20
    EXPECT_FALSE(receiver.ended());

    EXPECT_GOLDEN(run("sysv-typed-sender"), "sysv/golden/sender-sent");
    const auto status = receiver.wait(kRunTimeout);
    ASSERT_TRUE(status);
    EXPECT_EQ("exit status 0", status->describe());
    EXPECT_BYTES(std::string(kText, 'x') + "\n" + kB + "\n", receiver.out());
    EXPECT_BYTES("", receiver.err());
    const std::vector<Message> left{{10, kA}};  // the sender's type 10 was not asked for
    EXPECT_EQ(left, drain(q->msqid));
}

TEST_F(TypedQueue, ReceiverBStartedFirstPrintsBlankLineThenWaitsForTypeTen) {
    harness::Process receiver(harness::binPath("sysv-typed-receiver-b"), {.pty = true});
    ASSERT_TRUE(receiver.waitForLines(1, kRunTimeout));
    EXPECT_BYTES(kBlank + "\n", receiver.out());  // no type 20 yet: the record stays blank
    ASSERT_TRUE(waitsInReceive(receiver)) << wchan(receiver.pid());
    EXPECT_FALSE(receiver.ended());

    EXPECT_GOLDEN(run("sysv-typed-sender"), "sysv/golden/sender-sent");
    const auto status = receiver.wait(kRunTimeout);
    ASSERT_TRUE(status);
    EXPECT_EQ("exit status 0", status->describe());
    EXPECT_BYTES(kBlank + "\n" + kA + "\n", receiver.out());
    const std::vector<Message> left{{20, kB}};  // sent after the one receive for type 20
    EXPECT_EQ(left, drain(queueId()));
}

TEST_F(TypedQueue, SeveralSenderRunsEachReceiverTakesTheOldestOfEachType) {
    const int msqid = msgget(kKey, IPC_CREAT | 0600);
    ASSERT_GE(msqid, 0);
    // Marked messages of our own first, type 20 before type 10.
    put(msqid, 20, std::string(kText, 'Y'));
    put(msqid, 10, std::string(kText, 'X'));
    for (int i = 0; i < 3; i++)
        EXPECT_GOLDEN(run("sysv-typed-sender"), "sysv/golden/sender-sent");
    EXPECT_EQ(8u, procQueue(kKey)->qnum);

    auto got = run("sysv-typed-receiver-a");
    EXPECT_BYTES(std::string(kText, 'X') + "\n" + std::string(kText, 'Y') + "\n", got.out);
    EXPECT_EQ(6u, procQueue(kKey)->qnum);
    EXPECT_GOLDEN(run("sysv-typed-receiver-b"), "sysv/golden/receiver-b");
    EXPECT_GOLDEN(run("sysv-typed-receiver-a"), "sysv/golden/receiver-a");
    const std::vector<Message> left{{10, kA}, {20, kB}};
    EXPECT_EQ(left, drain(msqid));
}

TEST_F(TypedQueue, ShortMessageIsPaddedWithBlanksAndLongOneIsNotTaken) {
    const int msqid = msgget(kKey, IPC_CREAT | 0600);
    ASSERT_GE(msqid, 0);
    const std::string longText(150, 'L');
    put(msqid, 10, "hello");
    put(msqid, 20, longText);  // longer than the 100 bytes asked for: E2BIG, no truncation
    put(msqid, 20, kB);
    const auto got = run("sysv-typed-receiver-a");
    EXPECT_EQ("exit status 0", got.status.describe());
    EXPECT_BYTES("hello" + std::string(kText - 5, ' ') + "\n" + kBlank + "\n", got.out);
    EXPECT_BYTES("", got.err);
    const std::vector<Message> left{{20, longText}, {20, kB}};
    EXPECT_EQ(left, drain(msqid));
}

TEST_F(TypedQueue, OrdinaryUserCanNeitherSendNorReceiveOnModeZeroQueue) {
    HARNESS_NEEDS_OTHER_USERS();
    // Made by nobody's own run, the queue still has mode 000: nobody may not use it.
    EXPECT_GOLDEN(run("sysv-typed-sender", asNobody()), "sysv/golden/sender-refused");
    auto q = procQueue(kKey);
    ASSERT_TRUE(q);
    EXPECT_EQ(0u, q->perms);
    EXPECT_EQ(65534u, q->cuid);
    EXPECT_EQ(0u, q->qnum);

    EXPECT_GOLDEN(run("sysv-typed-sender"), "sysv/golden/sender-sent");  // root may
    // Both receives fail at once with EACCES (run() would time out on a wait); both lines
    // are printed all the same.
    EXPECT_GOLDEN(run("sysv-typed-receiver-a", asNobody()), "sysv/golden/receiver-nothing");
    EXPECT_GOLDEN(run("sysv-typed-receiver-b", asNobody()), "sysv/golden/receiver-nothing");
    EXPECT_GOLDEN(run("sysv-typed-sender", asNobody()), "sysv/golden/sender-refused");
    EXPECT_EQ(2u, procQueue(kKey)->qnum);
}

}  // namespace
