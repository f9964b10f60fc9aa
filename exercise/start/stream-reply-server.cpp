// stream-reply-server: a forking TCP server on port 8000; each client's text is printed with
// the child's process id, and the client gets "Good Bye".
//
// What it must do:
//  1. Make a TCP socket (on failure perror("sock:"), exit(1)); bind it to port 8000 on every
//     local IPv4 address (bzero'd sockaddr_in, INADDR_ANY, htons; no SO_REUSEADDR; on failure
//     perror("bind:"), exit(2), e.g. "bind:: Address already in use"); listen with a backlog
//     of 5. Line-buffer standard output (setvbuf) and ignore SIGPIPE (answering a client that
//     reset the connection must not kill the child).
//  2. For ever: accept a connection; print " client connected " with puts; fflush(stdout)
//     before fork; fork.
//     - Child: close the listening socket; read once, at most 199 bytes, into a 200-byte
//       buffer and store a zero after what came (a failed read: perror("read"), e.g.
//       "read: Connection reset by peer", and empty text); then
//         printf(" data rec'd from client = %s\n", buf);
//         printf(" requested handled by server %d\n", getpid());
//       write the 8 bytes "Good Bye" (no zero, no newline) and exit(0). A client that sends
//       nothing and closes still gets its two lines (empty text) and "Good Bye".
//     - Parent: close the connection and accept the next. A failed fork: perror("fork"), close
//       the connection unserved, go on.
// Limits and failures the checks provoke:
//  - No zombies: collect children as they end (a SIGCHLD handler calling waitpid with WNOHANG;
//    install it with SA_RESTART, then unblock SIGCHLD, which the server may have been started
//    with blocked) and count the live ones: at 64 children stop accepting until one ends
//    (further connections wait in the listen queue).
//  - A child waits at most 120 s for its client's text (SO_RCVTIMEO on the connection); then
//    its read fails ("read: Resource temporarily unavailable") and it goes on as above.
//  - A failed accept: perror("accept") and go on, forking nothing. A lasting failure (EMFILE,
//    ENFILE, ENOBUFS, ENOMEM) is reported once per episode and accept is tried again every
//    100 ms until it succeeds.
//
// Run it: stream-reply-server in one terminal, then `echo hello | stream-piece-client` (a
// peer of this project) in another.
// Checked by: exercise/exercise check stream-reply-server stream-reply-server.cpp
#include <netinet/in.h>
#include <strings.h>
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

int main() {
    return 0;
}
