// sigint-defer-demo: a SIGINT handler installed with SA_NODEFER, so SIGINT stays unblocked
// while its own handler runs: a second Ctrl-C during the handler's ten-second sleep enters the
// handler again at once (two arrival lines, then two exit lines together). Run it on a
// terminal and type Ctrl-C once, then twice quickly; Ctrl-\ (SIGQUIT) ends it.
// Deliberate shortcut: the handler prints with stdio, which is not async-signal-safe; SIGINT
// is held back around every stdio call, so a handler never interrupts one.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned kHandlerSleepSeconds = 10;
constexpr unsigned kLoopSleepSeconds = 1;

// Blocks SIGINT for a stdio call; releaseSigint(old) after it puts the mask back as it was, so
// a SIGINT that came meanwhile is delivered as soon as the call is done, when stdio is
// consistent again. Putting the mask back, rather than unblocking SIGINT, keeps the handler's
// own mask: SIGINT is open in the handler only because SA_NODEFER left it so.
sigset_t holdSigint() {
    sigset_t set, old;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigprocmask(SIG_BLOCK, &set, &old);
    return old;
}

void releaseSigint(const sigset_t &old) {
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

void handler(int sig) {
    const sigset_t old = holdSigint();
    printf("We have received signal :  %d \n", sig);
    releaseSigint(old);
    sleep(kHandlerSleepSeconds);  // a SIGINT now nests a second handler at once
    holdSigint();
    puts(" exit from sighandler ");
}  // returning restores the mask of the interrupted code, where SIGINT was unblocked

}  // namespace

int main() {
    // Each line reaches a pipe or file as it is printed: the program runs until it is killed.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    struct sigaction act;
    memset(&act, 0, sizeof act);
    act.sa_flags = SA_NODEFER;
    act.sa_handler = handler;
    if (sigaction(SIGINT, &act, nullptr) < 0) {
        const int err = errno;
        perror("sigaction");
        exit(err);
    }
    const sigset_t open = holdSigint();
    puts("Successfully installed signal handler for SIGINT");
    releaseSigint(open);
    for (;;) {
        holdSigint();
        puts("This is a pointless message.");
        releaseSigint(open);
        sleep(kLoopSleepSeconds);  // cut short by a SIGINT, then the next pass starts at once
    }
}
