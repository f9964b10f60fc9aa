// The harness itself: what every other test relies on.
#include <signal.h>
#include <unistd.h>

#include "check.hpp"

namespace {

using namespace std::chrono_literals;

harness::Options shell(std::string script) {
    harness::Options o;
    o.args = {"-c", std::move(script)};
    return o;
}

TEST(Harness, CapturesBytesAndStatusExactly) {
    const auto r =
        harness::run("/bin/sh", "in\n", shell("cat; printf 'a\\000b'; printf e >&2; exit 7"));
    EXPECT_BYTES(std::string("in\na\0b", 6), r.out);
    EXPECT_BYTES("e", r.err);
    EXPECT_EQ("exit status 7", r.status.describe());
}

// More input than a pipe holds, to a program that ends without reading it: run() still
// gives its output and status (the write fails with EPIPE, every time).
TEST(Harness, RunTakesAProgramThatEndsBeforeReadingItsInput) {
    constexpr std::size_t kMoreThanAPipe = 1 << 20;
    const auto r =
        harness::run("/bin/sh", std::string(kMoreThanAPipe, 'x'), shell("echo gone; exit 3"));
    EXPECT_BYTES("gone\n", r.out);
    EXPECT_EQ("exit status 3", r.status.describe());
}

TEST(Harness, TerminalIsTheProgramsAndTakesEndOfFile) {
    auto o = shell("[ -t 0 ] && [ -t 1 ] && [ ! -t 2 ] && echo tty; read x; echo \"got $x\"; cat");
    o.pty = true;
    harness::Process p("/bin/sh", o);
    ASSERT_TRUE(p.waitForOutput("tty\n"));
    p.write("word\n");
    ASSERT_TRUE(p.waitForOutput("got word\n"));
    p.closeInput();  // ^D ends cat
    const auto status = p.wait();
    ASSERT_TRUE(status);
    EXPECT_EQ("exit status 0", status->describe());
    EXPECT_BYTES("tty\ngot word\n", p.out());  // no echo, no \r added
}

TEST(Harness, TakeOutHandsOverAndForgets) {
    harness::Process p("/bin/sh", shell("echo one; read x; echo two"));
    ASSERT_TRUE(p.waitForOutput("one\n"));
    EXPECT_BYTES("one\n", p.takeOut());
    EXPECT_BYTES("", p.out());
    p.write("\n");
    ASSERT_TRUE(p.waitForLines(1));
    EXPECT_BYTES("two\n", p.takeOut());
    ASSERT_TRUE(p.wait());
}

TEST(Harness, WaitForAsksAgainWhileNoOutputComes) {
    harness::TempDir dir;
    const std::string flag = dir / "flag";
    harness::Process p("/bin/sh", shell("sleep 0.2; : > " + flag + "; exec sleep 30"));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(p.waitFor([&] { return access(flag.c_str(), F_OK) == 0; }, 20s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << "not before the timeout";
}

TEST(Harness, WaitReturnsWhileAChildStillHoldsTheOutputs) {
    harness::Process p("/bin/sh", shell("sleep 30 & echo $!"));
    const auto status = p.wait(5s);
    ASSERT_TRUE(status);
    const std::string child = "/proc/" + std::to_string(std::stoi(p.out())) + "/stat";
    {
        // Ending the object kills the whole group.
        harness::Process gone(std::move(p));
    }
    auto deadOrZombie = [&] {
        const std::string stat = harness::readFile(child);
        return stat.empty() || stat.find(") Z ") != std::string::npos;
    };
    for (int i = 0; i < 200 && !deadOrZombie(); ++i)
        usleep(10000);
    EXPECT_TRUE(deadOrZombie()) << harness::readFile(child);
}

TEST(Harness, RunsAsNobodyWithLimits) {
    HARNESS_NEEDS_OTHER_USERS();
    auto o = shell("id -u; id -G; ulimit -n");
    o.asNobody = true;
    o.limits = {{RLIMIT_NOFILE, 32}};
    const auto r = harness::run("/bin/sh", "", o);
    EXPECT_BYTES("65534\n65534\n32\n", r.out);
}

TEST(Harness, SignalsReachTheProgram) {
    harness::Process p("/bin/sh",
                       shell("trap 'echo hup' HUP; echo ready; while :; do sleep 0.05; done"));
    ASSERT_TRUE(p.waitForOutput("ready\n"));
    p.signal(SIGHUP);
    EXPECT_TRUE(p.waitForOutput("hup\n"));
    p.signal(SIGKILL);
    EXPECT_EQ("killed by signal 9 (Killed)", p.wait()->describe());
}

TEST(Harness, IsolatedNetworkHasLoopbackUp) {
    HARNESS_ISOLATE(harness::kNet | harness::kIpc | harness::kMount);
    harness::Fd a = harness::udpSocket(9000);  // a fixed port, free in the fresh namespace
    harness::Fd b = harness::udpSocket();
    harness::sendTo(b, 9000, "ping");
    EXPECT_EQ("ping", harness::recvFrom(a).value_or("(nothing)"));
}

TEST(Harness, StartsStoppedBeforeExecUntilResumed) {
    auto o = shell("echo ran");
    o.startStopped = true;
    harness::Process p("/bin/sh", o);
    EXPECT_EQ('T', p.state());  // stopped, and still the harness's child, not yet the shell
    EXPECT_NE(std::string::npos,
              harness::readFile("/proc/" + std::to_string(p.pid()) + "/cmdline").find("selftest"));
    p.resume();
    const auto status = p.wait();
    ASSERT_TRUE(status);
    EXPECT_EQ("exit status 0", status->describe());
    EXPECT_BYTES("ran\n", p.out());
}

TEST(Harness, WaitUntilChecksUntilTheTimeout) {
    int calls = 0;
    EXPECT_TRUE(harness::waitUntil([&] { return ++calls == 3; }, 5s, 1ms));
    EXPECT_EQ(3, calls);
    EXPECT_FALSE(harness::waitUntil([] { return false; }, 30ms));
}

}  // namespace
