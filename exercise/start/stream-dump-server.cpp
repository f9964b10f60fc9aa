// stream-dump-server: a forking TCP server on port 8000; each client's 10 bytes are printed,
// one per line, by a child process of its own.
//
// What it must do:
//  1. listenfd = connandlisten(8000) (the stream framing unit, stream-framing.hpp: TCP, every
//     local IPv4 address, backlog 5; it reports "sock:" or "bind:", e.g. "bind:: Address
//     already in use"); without it end with status 1. Line-buffer standard output (setvbuf).
//  2. For ever: accept a connection; print " client connected " with puts; fflush(stdout)
//     before fork (so no child prints the parent's lines again); fork.
//     - Child: close listenfd; readNBytes(connfd, 10) (prints " read %d from cli \n" per read,
//       however the bytes come in pieces); print each of the 10 bytes with printf("%c \n");
//       exit(0). When the client closed before 10 bytes or a read failed (readNBytes printed
//       its line with 0 or -1 and its "sockread:" report and gave null): exit(1), no byte lines.
//     - Parent: close connfd and accept the next one. A failed fork: perror("fork") (e.g.
//       "fork: Resource temporarily unavailable"), close the connection unserved, go on.
// Limits and failures the checks provoke:
//  - No zombies: collect children as they end (a SIGCHLD handler calling waitpid with WNOHANG;
//    install it with SA_RESTART, then unblock SIGCHLD, which the server may have been started
//    with blocked) and count the live ones: at 64 children stop accepting until one ends
//    (further connections wait in the listen queue).
//  - A child waits at most 120 s for its client's bytes (SO_RCVTIMEO on the connection): then
//    its read fails ("sockread:: Resource temporarily unavailable") and it ends with status 1.
//    And at most 300 s for all 10 of them: readNBytes(connfd, 10, 300) sets each read's limit
//    to the time left, and a read past that fails the same way.
//  - A failed accept: perror("accept") and go on, forking nothing. A lasting failure (EMFILE,
//    ENFILE, ENOBUFS, ENOMEM) is reported once per episode and accept is tried again every
//    100 ms until it succeeds.
// Nothing is sent back to the client; standard error holds only the reports above.
//
// Run it: stream-dump-server in one terminal, then from bash in another:
//   printf 0123456789 > /dev/tcp/127.0.0.1/8000
// Checked by: exercise/exercise check stream-dump-server stream-dump-server.cpp
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

int main() {
    return 0;
}
