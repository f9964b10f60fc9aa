// stream-dump-server: a forking TCP server on port 8000. Each connection gets a child process
// that reads exactly 10 bytes through the stream framing helpers, prints them one per line
// and ends; the parent only accepts. Watch it with any TCP client in another shell, e.g.
//   printf 0123456789 > /dev/tcp/127.0.0.1/8000        (bash)
// Nothing is sent back. Each line reaches a pipe or file as it is printed, and the parent
// flushes before fork, so no child prints its parent's lines again. At most 64 children serve
// at once, and a client that sends nothing for 120 s, or has not sent its 10 bytes within
// 300 s, loses its child (a failed read).
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "stream-framing.hpp"

namespace {

// accept's failures that last while descriptors or memory are short. Each episode is reported
// once, and accept is tried again after a pause, so the server neither spins nor floods its
// error output; it serves again as soon as a descriptor is free.
constexpr timespec kAcceptPause{0, 100'000'000};  // 100 ms
bool lastingFailure(int err) {
    return err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM;
}

constexpr std::uint16_t kPort = 8000;
constexpr int kDumpBytes = 10;  // bytes each client sends and each child prints

// Children are collected as they end (none is left a zombie) and counted, at most
// kMaxChildren alive at once; further connections wait in the listen queue meanwhile. A child
// whose client sends nothing for kIdleSeconds, or has not sent its bytes kDeadlineSeconds
// after the child began, has its read fail: a client cannot hold a child for long by sending
// a byte now and then. Five minutes leave someone typing into nc time to stop and think for
// nearly the whole idle limit twice; the bytes themselves take seconds to type.
constexpr int kMaxChildren = 64;       // children serving at once
constexpr int kIdleSeconds = 120;      // a child's longest wait for its client's bytes
constexpr int kDeadlineSeconds = 300;  // a child's longest time for all of them

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

// Collect every child as it ends and keep count; called once, before the first fork. A
// parent may have started us with SIGCHLD blocked (the mask survives exec): unblocked here, or
// the handler would never run and the server would stop at kMaxChildren for good.
void collectChildren() {
    sigemptyset(&childEnds);
    sigaddset(&childEnds, SIGCHLD);
    struct sigaction reap = {};
    reap.sa_handler = reapChildren;
    sigemptyset(&reap.sa_mask);
    reap.sa_flags = SA_RESTART;  // accept, write and the rest go on after a child's end
    sigaction(SIGCHLD, &reap, nullptr);
    sigprocmask(SIG_UNBLOCK, &childEnds, nullptr);
}

// Return once fewer than kMaxChildren children are alive. SIGCHLD is blocked while the count
// is looked at, so no end slips by between the look and the wait: sigsuspend lets it in and
// returns once the handler has run.
void waitForRoom() {
    sigset_t usual;
    sigprocmask(SIG_BLOCK, &childEnds, &usual);
    while (liveChildren >= kMaxChildren)
        sigsuspend(&usual);
    sigprocmask(SIG_SETMASK, &usual, nullptr);
}

// fork, counted. In the child (0), reads on connfd fail with EAGAIN after kIdleSeconds without
// a byte. A failed fork is reported and gives -1; the caller goes on.
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

}  // namespace

[[noreturn]] void handleClient(int connfd) {
    char *block = readNBytes(connfd, kDumpBytes, kDeadlineSeconds);
    if (block == nullptr)
        exit(1);  // the client closed early or the read failed; readNBytes has said so
    for (int i = 0; i < kDumpBytes; i++)
        printf("%c \n", block[i]);
    exit(0);  // closes the connection
}

int main() {
    // Children are collected as they end, so none is left a zombie, and counted, so that a
    // flood of connections cannot fill the process table.
    collectChildren();
    // Each line reaches a pipe or file as it is printed: the server runs until it is killed.
    setvbuf(stdout, nullptr, _IOLBF, 0);

    const int listenfd = connandlisten(kPort);
    if (listenfd < 0)
        return 1;                   // connandlisten has reported why
    bool shortOfResources = false;  // within an episode of lasting accept failures
    for (;;) {
        waitForRoom();  // at the limit of children, connections wait in the listen queue
        sockaddr_in cliaddr;
        socklen_t clilen = sizeof(cliaddr);
        const int connfd = accept(listenfd, reinterpret_cast<sockaddr *>(&cliaddr), &clilen);
        if (connfd < 0) {
            if (!lastingFailure(errno)) {
                perror("accept");  // no connection to serve; take the next one
                continue;
            }
            if (!shortOfResources)
                perror("accept");
            shortOfResources = true;
            nanosleep(&kAcceptPause, nullptr);
            continue;
        }
        shortOfResources = false;
        puts(" client connected ");
        fflush(stdout);  // the child must not inherit unwritten lines and print them again
        if (forkChild(connfd) == 0) {
            close(listenfd);
            handleClient(connfd);
        }
        // The parent, also when fork failed (reported): the connection is the child's, or
        // nobody's.
        close(connfd);
    }
}
