// fork-parent-child: the ids on both sides of the fork, the spinning parent that never collects
// its child, and the child adopted by the test (a child subreaper) when its parent is killed.
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <sstream>

#include "check.hpp"

namespace {

using namespace std::chrono_literals;
constexpr harness::Duration kStart = 30s;       // generous: the machine may be loaded
constexpr harness::Duration kChildSleep = 60s;  // ten seconds of sleep, with a wide margin

std::string procFile(pid_t pid, const char *name) {
    return harness::readFile("/proc/" + std::to_string(pid) + "/" + name);
}

char stateOf(pid_t pid) {
    const std::string stat = procFile(pid, "stat");
    const auto close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? '?' : stat[close + 2];
}

pid_t parentOf(pid_t pid) {
    const std::string stat = procFile(pid, "stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 1));
    char state = '?';
    pid_t ppid = -1;
    fields >> state >> ppid;
    return ppid;
}

// Asleep in the ten-second sleep (the kernel names where a task waits; so for the emulator).
bool sleeping(pid_t pid) {
    return stateOf(pid) == 'S' && procFile(pid, "wchan").find("nanosleep") != std::string::npos;
}

std::string childLine(long pid, long ppid) {
    return " child: My pid = " + std::to_string(pid) + " and ppid = " + std::to_string(ppid) +
           "  \n";
}

TEST(ForkParentChild, ParentSpinsAndNeverCollectsItsChild) {
    harness::Process p(harness::binPath("fork-parent-child"), {.pty = true});
    ASSERT_TRUE(p.waitForOutput(" Newly created child pid = ", kStart)) << p.out();
    ASSERT_TRUE(harness::waitUntil([&] { return !p.children().empty(); }, kStart));
    const pid_t child = p.children().front();
    const std::string parent1 = " PARENT : My pid = " + std::to_string(p.pid()) + " \n";
    const std::string parent2 = " Newly created child pid = " + std::to_string(child) + " \n";
    ASSERT_TRUE(p.waitForLines(3, kStart)) << p.out();
    // The two processes write at the same time: the child's first line may come anywhere.
    const std::string first = childLine(child, p.pid());
    EXPECT_TRUE(p.out() == first + parent1 + parent2 || p.out() == parent1 + first + parent2 ||
                p.out() == parent1 + parent2 + first)
        << harness::visible(p.out());

    ASSERT_TRUE(p.waitForLines(4, kChildSleep)) << p.out();
    EXPECT_TRUE(p.out().ends_with(first)) << harness::visible(p.out());  // same parent still
    // The child has returned; nobody waits for it while the parent spins.
    EXPECT_TRUE(harness::waitUntil([&] { return stateOf(child) == 'Z'; }, kStart))
        << stateOf(child);
    EXPECT_FALSE(p.ended());
    EXPECT_EQ('R', p.state());
    EXPECT_EQ(std::vector<pid_t>{child}, p.children());
    EXPECT_EQ(p.pid(), parentOf(child));
    EXPECT_EQ("", p.err());
}

// On a pipe (a terminal would hang up the child when its session leader dies) each process's
// lines leave at its exit: the killed parent's never do, the child's both come at its end.
// The test makes itself a child subreaper, so the child's new parent is the test; the
// emulator of 32-bit programs refuses that request, and there the adopter is the one /proc names.
TEST(ForkParentChild, ChildOfAKilledParentIsAdopted) {
    const bool subreaper = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
    ASSERT_TRUE(subreaper || harness::emulated()) << strerror(errno);
    harness::Process p(harness::binPath("fork-parent-child"));
    ASSERT_TRUE(harness::waitUntil([&] { return !p.children().empty(); }, kStart));
    const pid_t child = p.children().front();
    ASSERT_TRUE(harness::waitUntil([&] { return sleeping(child); }, kStart))
        << procFile(child, "stat") << procFile(child, "wchan");
    p.signal(SIGKILL);
    ASSERT_TRUE(p.wait(kStart));
    const pid_t adopter = parentOf(child);
    if (subreaper) {
        EXPECT_EQ(getpid(), adopter);
    }
    EXPECT_NE(p.pid(), adopter);

    ASSERT_TRUE(p.waitForLines(2, kChildSleep)) << p.out();
    EXPECT_BYTES(childLine(child, p.pid()) + childLine(child, adopter), p.out());
    if (subreaper) {
        int raw = 0;
        ASSERT_TRUE(
            harness::waitUntil([&] { return waitpid(child, &raw, WNOHANG) == child; }, kStart));
        EXPECT_EQ("exit status 0", harness::Status{raw}.describe());
    }
}

}  // namespace
