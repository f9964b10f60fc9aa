// mq-receiver: takes one message off the POSIX message queue "/mymq", reports its length and
// priority, and copies its bytes to standard output.
//
// What it must do:
//  1. mq_open("/mymq", O_RDONLY): no O_CREAT, no O_NONBLOCK (on an empty queue the receive
//     waits until a message comes).
//  2. mq_getattr, and malloc a buffer of exactly mq_msgsize bytes.
//  3. mq_receive into it with that size and a pointer to an unsigned priority that starts at
//     50: it takes the message of highest priority (the oldest among equals), and only one.
//  4. printf("Read %ld bytes; priority = %u\n", count, priority) through buffered stdout.
//  5. write(1, ...) the received bytes, every one (the sender's NUL too): a write may take only
//     part of them (a signal during a write to a full pipe, a non-blocking descriptor), so go on
//     with the rest until all are out, retrying after EINTR and waiting for room (poll) after
//     EAGAIN; any other failure: perror("write").
//  6. write(1, "\n", 1).
//  7. End with status 0, always.
// On a terminal the report line comes first; on a pipe or a file stdout is flushed only at
// the exit, so the bytes and the newline come first, then the report line:
//   "writing message to queue\0\nRead 25 bytes; priority = 50\n"
// Failures: perror("mq_open"), perror("mq_getattr"), perror("malloc"), perror("mq_receive"),
// each time skipping the steps that need what failed (never receive into a missing buffer or
// with a size not read): the report line is still printed, with -1 bytes and priority 50, and
// then only the newline. No queue: "mq_open: No such file or directory\n" on standard error
// and "\nRead -1 bytes; priority = 50\n" on a pipe.
//
// Run it: after `mq-sender` (with "/mymq" made by mq-signal-watch, then stopped), mq-receiver.
// Checked by: exercise/exercise check mq-receiver mq-receiver.cpp
#include <fcntl.h>
#include <mqueue.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

int main() {
    return 0;
}
