// sigint-defer-demo: which signals end it. SIGINT enters its handler and does not end it;
// SIGQUIT, SIGTERM and SIGKILL end it with their default action.
#include <csignal>

#include "sigint-defer-common.hpp"

namespace {

using namespace sigintdefer;

TEST(SigintDeferDemo, SigintDoesNotEndItOtherSignalsDo) {
    for (const int sig : {SIGQUIT, SIGTERM, SIGKILL}) {
        SCOPED_TRACE(strsignal(sig));
        harness::Process p = start();
        ASSERT_TRUE(p.waitForOutput(std::string(kInstalled) += kMessage)) << p.out();
        p.signal(SIGINT);
        ASSERT_TRUE(p.waitForOutput(kArrival)) << p.out();
        EXPECT_FALSE(p.ended()) << "SIGINT ended it";
        p.signal(sig);
        const auto status = p.wait();
        ASSERT_TRUE(status) << "still running";
        EXPECT_TRUE(status->signaled()) << status->describe();
        EXPECT_EQ(sig, status->signal()) << status->describe();
        EXPECT_FALSE(status->coreDumped());
        // qemu-i386 reports a guest ended by a core-dumping signal on standard error.
        if (!(harness::emulated() && sig == SIGQUIT)) {
            EXPECT_BYTES("", p.err());
        }
        const std::size_t before = occurrences(p.out(), kMessage);
        EXPECT_BYTES(std::string(kInstalled) + messages(before) + std::string(kArrival), p.out());
    }
}

// On a pipe each line is there as soon as it is printed, and a kill loses none.
TEST(SigintDeferDemo, OnAPipeEveryLineIsThereWhenItIsKilled) {
    harness::Process p(harness::binPath("sigint-defer-demo"),
                       harness::Options{.limits = {{RLIMIT_CORE, 0}}});
    ASSERT_TRUE(p.waitForOutput(std::string(kInstalled) += kMessage)) << p.out();
    p.signal(SIGTERM);
    ASSERT_TRUE(p.wait());
    EXPECT_BYTES(std::string(kInstalled) + messages(occurrences(p.out(), kMessage)), p.out());
}

}  // namespace
