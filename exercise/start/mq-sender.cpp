// mq-sender: puts one message on the POSIX message queue "/mymq" and ends.
//
// What it must do:
//  1. mq_open("/mymq", O_WRONLY): no O_CREAT (the queue must exist already; mq-signal-watch
//     makes it), no O_NONBLOCK, no attributes. On -1: perror("mq_open") and go on regardless.
//  2. mq_send the 24 characters "writing message to queue" and their terminating NUL (25
//     bytes) with priority 50. The descriptor blocks, so on a full queue the send waits until
//     a reader takes a message. On -1: perror("mq_send") and go on (after a failed open the
//     send is made on -1 and so fails with EBADF).
//  3. End with status 0, always. Standard output stays empty.
// What the checks expect on standard error:
//  - no queue: "mq_open: No such file or directory\n" then "mq_send: Bad file descriptor\n";
//  - a queue the user may not write: "mq_open: Permission denied\n", then the same mq_send line;
//  - a queue whose message size is below 25 bytes: "mq_send: Message too long\n".
// After one run the queue holds one message of 25 bytes, priority 50 (`cat /dev/mqueue/mymq`
// shows QSIZE:25).
//
// Run it: mq-signal-watch (it creates "/mymq") in one terminal, mq-sender in another.
// Checked by: exercise/exercise check mq-sender mq-sender.cpp
#include <fcntl.h>
#include <mqueue.h>

#include <cstdio>

int main() {
    return 0;
}
