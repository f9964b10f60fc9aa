// signal-flags-demo: handlers installed with signal() only record that SIGHUP, or SIGINT or
// SIGQUIT, came; a busy loop polls the two flags and moves through three phases of output.
// Run it and send kill -INT, kill -HUP (or type Ctrl-C, Ctrl-\) from another shell; it
// floods its output, so try: signal-flags-demo | uniq -c. SIGTERM ends it.
// Deliberate shortcut: the handlers print with stdio, which is not async-signal-safe; the
// three signals are let in only after a line of the loop, before its flag test, and held back
// while a handler prints, so a handler never interrupts a stdio call.
#include <signal.h>

#include <cstdio>

volatile sig_atomic_t one_occured = 0;  // SIGHUP has been handled
volatile sig_atomic_t tt_occured = 0;   // SIGINT or SIGQUIT has been handled

namespace {

constexpr const char *kPhaseOne = " I am happy now , I will do same work forever\n";
constexpr const char *kPhaseTwo = " I am doing bad work for my survival\n";
constexpr const char *kPhaseThree = " I am going to die some day \n";

// SIG_BLOCK or SIG_UNBLOCK the three handled signals.
void holdSignals(int how) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGQUIT);
    sigprocmask(how, &set, nullptr);
}

// One line of the main loop, with the signals held back. They are let in for a moment right
// after it, when stdio holds only whole lines: a signal that came meanwhile is handled there,
// between the line and the flag test that follows it, never between the test and the next line.
void printLine(const char *line) {
    fputs(line, stdout);
    holdSignals(SIG_UNBLOCK);
    holdSignals(SIG_BLOCK);
}

// A handler is entered with only its own signal blocked: it holds back the other two before it
// prints; returning restores the mask of the interrupted code.
void sh_for_one(int) {
    one_occured = 1;
    holdSignals(SIG_BLOCK);
    printf(" This is handler for signal no one \n");
}

void sh_for_tt(int sig) {
    tt_occured = 1;
    holdSignals(SIG_BLOCK);
    printf(" I am now handling signal no %d \n", sig);
}

}  // namespace

int main() {
    // Each line reaches a pipe or file as it is printed: the program runs until it is killed.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    signal(SIGHUP, sh_for_one);
    signal(SIGINT, sh_for_tt);
    signal(SIGQUIT, sh_for_tt);
    holdSignals(SIG_BLOCK);
    do
        printLine(kPhaseOne);
    while (one_occured == 0);
    do
        printLine(kPhaseTwo);
    while (tt_occured == 0);
    for (;;)
        printLine(kPhaseThree);
}
