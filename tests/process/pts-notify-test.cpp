// pts-notify-task in a mount namespace with a private devpts instance, so that /dev/pts/1 is a
// terminal of the test's making (or missing, or not writable), whatever the machine runs.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include "check.hpp"

namespace {

using namespace std::chrono_literals;
constexpr harness::Duration kRun = 30s;  // generous: the shell starts under load

class PtsNotify : public testing::Test {
  protected:
    void SetUp() override {
        HARNESS_ISOLATE(harness::kMount);
        HARNESS_REQUIRE(harness::mountDevpts());
    }

    // A new terminal of the private instance; returns its master and checks its number.
    harness::Fd openTerminal(const std::string &expected) {
        harness::Fd master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        EXPECT_TRUE(master && grantpt(master.get()) == 0 && unlockpt(master.get()) == 0);
        EXPECT_EQ(expected, ptsname(master.get()));
        return master;
    }

    // What arrived on a terminal's master side within `quiet`.
    static std::string received(const harness::Fd &master, harness::Duration quiet = 200ms) {
        std::string got;
        pollfd p{master.get(), POLLIN, 0};
        char buf[256];
        while (poll(&p, 1, static_cast<int>(quiet.count())) > 0) {
            const ssize_t n = read(master.get(), buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }
};

TEST_F(PtsNotify, LineArrivesOnPts1) {
    const harness::Fd pts0 = openTerminal("/dev/pts/0");
    const harness::Fd pts1 = openTerminal("/dev/pts/1");
    // Held open, so the line stays readable after the shell closes its side.
    const harness::Fd pts1Slave(open("/dev/pts/1", O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(pts1Slave);
    const auto r = harness::run(harness::binPath("pts-notify-task"), {}, {}, kRun);
    EXPECT_EQ("exit status 0", r.status.describe());
    EXPECT_EQ("", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_BYTES("Value Changed\r\n", received(pts1));  // the terminal turns \n into \r\n
    EXPECT_BYTES("", received(pts0, 0ms));
}

TEST_F(PtsNotify, NoPts1TheShellComplainsAndStatusIsZero) {
    const harness::Fd pts0 = openTerminal("/dev/pts/0");
    const auto r = harness::run(harness::binPath("pts-notify-task"), {}, {}, kRun);
    EXPECT_EQ("exit status 0", r.status.describe());  // the shell's status 2 sits in bits 8 to 15
    EXPECT_EQ("", r.out);
    EXPECT_NE(std::string::npos, r.err.find("/dev/pts/1")) << r.err;
    EXPECT_TRUE(r.err.ends_with("\n")) << r.err;
    EXPECT_BYTES("", received(pts0, 0ms));
}

TEST_F(PtsNotify, Pts1NotWritableTheShellComplainsAndStatusIsZero) {
    HARNESS_NEEDS_OTHER_USERS();
    const harness::Fd pts0 = openTerminal("/dev/pts/0");
    const harness::Fd pts1 = openTerminal("/dev/pts/1");
    ASSERT_EQ(0, chmod("/dev/pts/1", 0600));
    const auto r = harness::run(harness::binPath("pts-notify-task"), {}, {.asNobody = true}, kRun);
    EXPECT_EQ("exit status 0", r.status.describe());
    EXPECT_NE(std::string::npos, r.err.find(strerror(EACCES))) << r.err;
    EXPECT_BYTES("", received(pts1, 0ms));
}

}  // namespace
