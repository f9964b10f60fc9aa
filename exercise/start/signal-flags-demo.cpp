// signal-flags-demo: handlers installed with signal() only record that SIGHUP, or SIGINT or
// SIGQUIT, came; a busy main loop polls the flags and moves through three phases of output.
//
// What it must do:
//  - Two global flags, 0 at start and never cleared, volatile sig_atomic_t (a handler may set
//    one between any two instructions of the loop): one_occured and tt_occured.
//  - sh_for_one(int): one_occured = 1; printf(" This is handler for signal no one \n").
//  - sh_for_tt(int sig): tt_occured = 1; printf(" I am now handling signal no %d \n", sig)
//    (2 for SIGINT, 3 for SIGQUIT).
//  - main: signal(SIGHUP, sh_for_one); signal(SIGINT, sh_for_tt); signal(SIGQUIT, sh_for_tt)
//    (results ignored; glibc's signal() keeps the handler installed). Then, without any pause:
//    phase one: print " I am happy now , I will do same work forever\n" (a blank before the
//      comma), then test one_occured; repeat while it is 0 (at least one line);
//    phase two: print " I am doing bad work for my survival\n", then test tt_occured; repeat
//      while it is 0 (at least one line);
//    phase three: print " I am going to die some day \n" for ever.
// SIGINT in phase one prints its handler line and phase one goes on; a SIGHUP then gives
// exactly one phase-two line and phase three. A second SIGHUP prints the handler line and
// changes nothing. SIGQUIT is handled like SIGINT (no core). SIGTERM, not caught, ends it.
// Every line must stay whole and in order: block the three signals around every stdio call,
// in the loop and in the handlers (put back the mask you found afterwards), and let them in
// only between a line and the flag test after it, so that a signal ends its phase right after
// the line it interrupted, never one line later. Line-buffer standard output (setvbuf).
//
// Run it: signal-flags-demo | uniq -c, then kill -HUP, -INT, -TERM from another terminal.
// Checked by: exercise/exercise check signal-flags-demo signal-flags-demo.cpp
#include <signal.h>

#include <cstdio>

int main() {
    return 0;
}
