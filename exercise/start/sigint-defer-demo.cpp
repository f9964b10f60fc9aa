// sigint-defer-demo: a SIGINT handler installed with SA_NODEFER sleeps ten seconds; since
// SIGINT stays unblocked while it runs, a second SIGINT enters the handler again at once.
//
// What it must do:
//  - main: zero a struct sigaction, sa_flags SA_NODEFER alone (no SA_RESTART, SA_RESETHAND),
//    sa_handler handler, empty sa_mask; sigaction(SIGINT, &sa, nullptr) (on failure
//    perror("sigaction"), exit with errno); puts("Successfully installed signal handler for
//    SIGINT"); then for ever: puts("This is a pointless message."); sleep(1) (a sleep cut
//    short by the signal just starts the next pass early).
//  - handler(int sig): printf("We have received signal :  %d \n", sig) (two blanks after the
//    colon); sleep(10); puts(" exit from sighandler "); return.
// One SIGINT: the arrival line with 2, ten quiet seconds, the exit line, then the messages
// resume at once. Two SIGINTs in quick succession: two arrival lines, about ten seconds of
// quiet, two exit lines together (the inner handler returns, the outer one's sleep was cut
// short). SIGINT never ends it; SIGQUIT or SIGTERM do (their default action).
// Printing from a handler must not cut into a stdio call in progress: block SIGINT around
// every stdio call, in the loop and in the handler, and afterwards put back the mask you found
// (in the handler that is the mask SA_NODEFER left open, so a second SIGINT still nests during
// the sleep). Line-buffer standard output (setvbuf), so on a pipe every line is there at once
// and none is lost when the program is killed.
//
// Run it: sigint-defer-demo, then Ctrl-C once, then twice quickly; Ctrl-\ ends it.
// Checked by: exercise/exercise check sigint-defer-demo sigint-defer-demo.cpp
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main() {
    return 0;
}
