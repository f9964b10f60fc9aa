// sigint-defer-demo: the handler's ten-second sleep, alone and with a second SIGINT nested in
// it (SA_NODEFER lets that one in at once). Each case waits out at least one full handler.
#include <chrono>
#include <csignal>

#include "sigint-defer-common.hpp"

namespace {

using namespace sigintdefer;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kHandlerSleep = 10s;
constexpr auto kSleepTolerance = 1s;   // a sleep may end this much early, as measured here
constexpr auto kHandlerTimeout = 40s;  // the handler's sleep, on a loaded machine
constexpr auto kAtOnce = 5s;           // well within the first handler's sleep
constexpr auto kTogether = 2s;         // the two exit lines, one right after the other

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The output is the set-up line, messages, then `arrivals` arrival lines and as many exit
// lines, then messages again, and nothing else.
void expectTranscript(harness::Process &p, std::size_t arrivals) {
    const std::string out = p.out();
    const std::size_t before = occurrences(out.substr(0, out.find(kArrival)), kMessage);
    const std::size_t after = occurrences(out, kMessage) - before;
    EXPECT_GE(after, 1u) << "the messages resume";
    std::string expected = std::string(kInstalled) + messages(before);
    for (std::size_t i = 0; i < arrivals; ++i)
        expected += kArrival;
    for (std::size_t i = 0; i < arrivals; ++i)
        expected += kExit;
    expected += messages(after);
    EXPECT_BYTES(expected, out);
}

TEST(SigintDeferDemo, OneSigintSleepsTenSecondsThenTheMessagesResume) {
    harness::Process p = start();
    ASSERT_TRUE(p.waitForOutput(std::string(kInstalled) += kMessage)) << p.out();
    p.signal(SIGINT);
    ASSERT_TRUE(p.waitForOutput(kArrival)) << p.out();
    const auto arrived = Clock::now();
    ASSERT_TRUE(p.waitForOutput(kExit, kHandlerTimeout)) << p.out();
    EXPECT_GE(Clock::now() - arrived, kHandlerSleep - kSleepTolerance);
    const std::size_t exitAt = p.out().find(kExit);
    ASSERT_TRUE(p.waitFor([&] { return p.out().find(kMessage, exitAt) != std::string::npos; }))
        << "no message after the handler: " << p.out();
    EXPECT_FALSE(p.ended()) << "SIGINT ended it";
    expectTranscript(p, 1);
}

TEST(SigintDeferDemo, SecondSigintDuringTheHandlerEntersAtOnce) {
    harness::Process p = start();
    ASSERT_TRUE(p.waitForOutput(std::string(kInstalled) += kMessage)) << p.out();
    p.signal(SIGINT);
    ASSERT_TRUE(p.waitForOutput(kArrival)) << p.out();
    // Only once the first handler sleeps: a SIGINT between its arrival line and its sleep would
    // run the nested handler to its end before the outer one even began to sleep.
    ASSERT_TRUE(p.waitFor([&] { return p.state() == 'S'; })) << "state " << p.state();
    const auto first = Clock::now();
    p.signal(SIGINT);
    ASSERT_TRUE(p.waitFor([&] { return occurrences(p.out(), kArrival) == 2; }, kAtOnce))
        << "the second SIGINT was held back: " << p.out();
    const auto second = Clock::now();
    EXPECT_LT(second - first, kAtOnce) << seconds(second - first) << " s";

    ASSERT_TRUE(p.waitForOutput(kExit, kHandlerTimeout)) << p.out();
    const auto firstExit = Clock::now();
    // The inner handler sleeps its full ten seconds from its own arrival.
    EXPECT_GE(firstExit - second, kHandlerSleep - kSleepTolerance)
        << seconds(firstExit - second) << " s";
    ASSERT_TRUE(p.waitFor([&] { return occurrences(p.out(), kExit) == 2; }, kTogether))
        << "the outer handler did not end right after the inner one: " << p.out();
    const std::size_t lastExit = p.out().rfind(kExit);
    ASSERT_TRUE(p.waitFor([&] { return p.out().find(kMessage, lastExit) != std::string::npos; }))
        << "no message after the handlers: " << p.out();
    EXPECT_FALSE(p.ended()) << "SIGINT ended it";
    expectTranscript(p, 2);
}

}  // namespace
