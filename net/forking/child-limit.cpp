// The forking servers' children (see child-limit.hpp).
#include "child-limit.hpp"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace {

// Children alive. The handler lowers it as children end; the main flow raises it only while
// SIGCHLD is blocked, so the two never change it at the same time.
volatile sig_atomic_t liveChildren = 0;

sigset_t childEnds;  // just SIGCHLD

void reapChildren(int) {
    const int saved = errno;  // the interrupted code may be about to look at it
    while (waitpid(-1, nullptr, WNOHANG) > 0)
        liveChildren = liveChildren - 1;
    errno = saved;
}

}  // namespace

void collectChildren() {
    sigemptyset(&childEnds);
    sigaddset(&childEnds, SIGCHLD);
    struct sigaction reap {};
    reap.sa_handler = reapChildren;
    sigemptyset(&reap.sa_mask);
    reap.sa_flags = SA_RESTART;  // accept, write and the rest go on after a child's end
    sigaction(SIGCHLD, &reap, nullptr);
}

void waitForRoom() {
    sigset_t usual;
    sigprocmask(SIG_BLOCK, &childEnds, &usual);
    // SIGCHLD is blocked while the count is looked at, so no end slips by unseen between the
    // look and the wait: sigsuspend lets it in and returns once the handler has run.
    while (liveChildren >= kMaxChildren)
        sigsuspend(&usual);
    sigprocmask(SIG_SETMASK, &usual, nullptr);
}

pid_t forkChild(int connfd) {
    sigset_t usual;
    sigprocmask(SIG_BLOCK, &childEnds, &usual);
    const pid_t pid = fork();
    if (pid == 0) {
        sigprocmask(SIG_SETMASK, &usual, nullptr);
        const timeval idle{kIdleSeconds, 0};
        if (setsockopt(connfd, SOL_SOCKET, SO_RCVTIMEO, &idle, sizeof(idle)) < 0)
            perror("setsockopt");  // the child still serves, without a bound on its wait
        return 0;
    }
    if (pid < 0)
        perror("fork");
    else
        liveChildren = liveChildren + 1;
    sigprocmask(SIG_SETMASK, &usual, nullptr);
    return pid;
}
