// What every test process sets up before its first case: writing to a program that has ended
// fails with EPIPE instead of killing the test, and a watchdog ends a test that overruns its
// time (HARNESS_TIMEOUT seconds, set by CTest for every test) a little before CTest would,
// killing the programs it started (and their children) rather than leaving them behind.
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "harness.hpp"

namespace {

// Seconds before CTest's limit at which the watchdog ends a long test.
constexpr int kWatchdogMargin = 3;

struct IgnoreSigpipe {
    IgnoreSigpipe() { std::signal(SIGPIPE, SIG_IGN); }
} ignoreSigpipe;

extern "C" void onWatchdog(int) {
    harness::killRunningGroups();
    static const char msg[] = "harness: the test ran out of time; its programs were killed\n";
    (void)!::write(STDERR_FILENO, msg, sizeof msg - 1);
    ::_exit(1);
}

struct Watchdog {
    Watchdog() {
        const char *limit = std::getenv("HARNESS_TIMEOUT");
        const int seconds = limit ? std::atoi(limit) : 0;
        if (seconds <= 0)
            return;
        std::signal(SIGALRM, onWatchdog);
        ::alarm(static_cast<unsigned>(seconds > 2 * kWatchdogMargin ? seconds - kWatchdogMargin
                                                                    : seconds));
    }
} watchdog;

}  // namespace
