// stream-dump-server: a forking TCP server on port 8000. Each connection gets a child process
// that reads exactly 10 bytes through the stream framing helpers, prints them one per line
// and ends; the parent only accepts. Watch it with any TCP client in another shell, e.g.
//   printf 0123456789 > /dev/tcp/127.0.0.1/8000        (bash)
// Nothing is sent back. Each line reaches a pipe or file as it is printed, and the parent
// flushes before fork, so no child prints its parent's lines again. At most 64 children serve
// at once, and a client that sends nothing for 120 s loses its child (a failed read).
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "child-limit.hpp"
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

}  // namespace

[[noreturn]] void handleClient(int connfd) {
    char *block = readNBytes(connfd, kDumpBytes);
    if (block == nullptr)
        exit(1);  // the client closed early or the read failed; readNBytes has said so
    for (int i = 0; i < kDumpBytes; i++)
        printf("%c \n", block[i]);
    exit(0);  // closes the connection
}

int main() {
    // Children are collected as they end, so none is left a zombie, and counted, so that a
    // flood of connections cannot fill the process table: see child-limit.hpp.
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
