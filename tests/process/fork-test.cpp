// fork-copy-demo (the child's copy of k, its exit status, a child killed before it exits), a
// failed fork in both fork programs, and the two offset readers on a file ./test of the test's
// making.
#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "check.hpp"

namespace {

using namespace std::chrono_literals;
constexpr harness::Duration kSlowStart = 30s;  // generous: the machine may be loaded

// The number that follows `prefix` in `text`, or -1.
long numberAfter(const std::string &text, std::string_view prefix) {
    const auto at = text.find(prefix);
    return at == std::string::npos ? -1
                                   : std::strtol(text.c_str() + at + prefix.size(), nullptr, 10);
}

std::string copyDemoParentLines(pid_t parent, long child, int childStatus) {
    return " My pid = " + std::to_string(parent) +
           " \n Newly created child pid = " + std::to_string(child) +
           " \nend of parent k = 10\nChild status = " + std::to_string(childStatus) + "\n";
}

TEST(ForkCopyDemo, ChildChangesItsOwnCopyAndExitsWith100) {
    harness::Process p(harness::binPath("fork-copy-demo"));
    p.closeInput();
    const auto status = p.wait(kSlowStart);
    ASSERT_TRUE(status);
    // On a pipe each process's lines leave at its exit, so the child's come first.
    const long child = numberAfter(p.out(), " Newly created child pid = ");
    EXPECT_GT(child, 0);
    EXPECT_NE(child, p.pid());
    EXPECT_BYTES(" child: My pid = " + std::to_string(child) +
                     " \n end of child k = 10\n end of child k = 44\n" +
                     copyDemoParentLines(p.pid(), child, 100),
                 p.out());
    EXPECT_EQ("", p.err());
    EXPECT_EQ("exit status 0", status->describe());
}

// The program starts stopped on a terminal whose output is suspended, so the child blocks in
// its first line and cannot exit before the test kills it.
TEST(ForkCopyDemo, ChildKilledBeforeItExitsShowsStatusZero) {
    harness::Process p(harness::binPath("fork-copy-demo"), {.pty = true, .startStopped = true});
    char terminal[64] = {};
    ASSERT_GT(readlink(("/proc/" + std::to_string(p.pid()) + "/fd/1").c_str(), terminal,
                       sizeof terminal - 1),
              0);
    harness::Fd slave(open(terminal, O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(slave) << terminal;
    ASSERT_EQ(0, tcflow(slave.get(), TCOOFF));
    p.resume();
    ASSERT_TRUE(harness::waitUntil([&] { return !p.children().empty(); }, kSlowStart));
    const pid_t child = p.children().front();
    ASSERT_EQ(0, kill(child, SIGKILL));
    ASSERT_EQ(0, tcflow(slave.get(), TCOON));
    slave.reset();  // the terminal ends with the program's side, and so does its output
    const auto status = p.wait(kSlowStart);
    ASSERT_TRUE(status);
    EXPECT_BYTES(copyDemoParentLines(p.pid(), child, 0), p.out());
    EXPECT_EQ("exit status 0", status->describe());
}

// fork fails when the user already runs as many processes as RLIMIT_NPROC allows: each case
// runs its program under a user id of its own.
harness::Process startWhereForkFails(const std::string &program, const std::string &unusedUid,
                                     bool pty = false) {
    return harness::startWhereForkFails(harness::binPath(program), unusedUid, {.pty = pty});
}

TEST(ForkCopyDemo, FailedForkShowsNoChildAndEndsWithOne) {
    HARNESS_NEEDS_OTHER_USERS();
    harness::Process p = startWhereForkFails("fork-copy-demo", "1987654321");
    p.closeInput();
    const auto status = p.wait(kSlowStart);
    ASSERT_TRUE(status);
    EXPECT_BYTES(copyDemoParentLines(p.pid(), -1, 0), p.out());
    EXPECT_EQ("", p.err());
    EXPECT_EQ("exit status 1", status->describe());
}

TEST(ForkParentChild, FailedForkTakesTheParentsPathAndSpins) {
    HARNESS_NEEDS_OTHER_USERS();
    harness::Process p = startWhereForkFails("fork-parent-child", "1987654322", true);
    const std::string lines =
        " PARENT : My pid = " + std::to_string(p.pid()) + " \n Newly created child pid = -1 \n";
    ASSERT_TRUE(p.waitForOutput(lines, kSlowStart)) << harness::visible(p.out());
    EXPECT_BYTES(lines, p.out());
    EXPECT_EQ('R', p.state());
    EXPECT_TRUE(p.children().empty());
}

struct ReaderCase {
    const char *program;
    std::optional<std::string> file;  // ./test, or none
    std::string out, err = {};
};

TEST(OffsetReaders, ShowWhichProcessGetsWhichBytes) {
    const std::string badFd = "child:: " + std::string(strerror(EBADF)) + "\n";
    const ReaderCase cases[] = {
        // One open file description: the parent goes on where the child stopped.
        {"fork-offset-reader", "abcd", " in child a\n in child b\n in parent c\n in parent d\n"},
        {"fork-offset-reader", "abcdefgh",
         " in child a\n in child b\n in parent c\n in parent d\n"},
        {"fork-offset-reader", "abc", " in child a\n in child b\n in parent c\n in parent ?\n"},
        {"fork-offset-reader", "a", " in child a\n in child ?\n in parent ?\n in parent ?\n"},
        {"fork-offset-reader", std::nullopt,
         " in child ?\n in child ?\n in parent ?\n in parent ?\n"},
        // Opened after fork, in the parent only: the child's read fails, the parent starts at 0.
        {"fork-late-open-reader", "abcd", " in child ?\n in child ?\n in parent a\n in parent b\n",
         badFd},
        {"fork-late-open-reader", "a", " in child ?\n in child ?\n in parent a\n in parent ?\n",
         badFd},
        {"fork-late-open-reader", std::nullopt,
         " in child ?\n in child ?\n in parent ?\n in parent ?\n", badFd},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.program) + " with ./test " +
                     (c.file ? '"' + *c.file + '"' : "missing"));
        harness::TempDir dir;
        if (c.file)
            harness::writeFile(dir / "test", *c.file);
        const auto r =
            harness::run(harness::binPath(c.program), {}, {.cwd = dir.path()}, kSlowStart);
        EXPECT_BYTES(c.out, r.out);
        EXPECT_BYTES(c.err, r.err);
        EXPECT_EQ("exit status 0", r.status.describe());
        if (c.file) {
            EXPECT_EQ(*c.file, harness::readFile(dir / "test"));  // read, never written
        }
    }
}

}  // namespace
