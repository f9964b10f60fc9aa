// mq-thread-watch: creates the POSIX message queue "/my_mq" if need be and asks the C library
// to run a function on a new thread whenever a message arrives on the empty queue; that thread
// reads every message standing there, registers the next notification and ends.
//
// What it must do:
//  - main: mq_open("/my_mq", O_RDONLY | O_CREAT | O_NONBLOCK, 0600, attributes of 10
//    messages of up to 8192 bytes) (on -1: perror("mq_open"), exit status 1); notifySetup with
//    the descriptor's address; then wait for ever in pause().
//  - notifySetup(mqd_t *mqd): mq_notify on *mqd with a sigevent: SIGEV_THREAD,
//    sigev_notify_function threadFunc, no attributes, sigev_value.sival_ptr = mqd. On -1:
//    perror("mq_notify") and exit status 1 (e.g. "mq_notify: Device or resource busy" when
//    another process holds the queue's registration). Then drain once (messages already
//    standing raise no notification).
//  - threadFunc(union sigval sv), on a new thread for each notification: take the descriptor
//    from sv.sival_ptr; mq_getattr (on -1: perror("mq_getattr"), exit status 1); malloc a
//    buffer of mq_msgsize bytes (on null: perror("malloc"), exit status 1, before any message
//    is taken off the queue); drain: mq_receive again and again, printf("Read %ld bytes\n",
//    count) after each, until the first failure (EAGAIN: empty); notifySetup again (a
//    registration is spent by its notification); free the buffer; pthread_exit(nullptr).
// Nothing else is printed on standard output, which is line-buffered (setvbuf) so that every
// line reaches a pipe at once. Every notification thread ends: while it waits the program has
// only its main thread and the C library's helper thread.
// What the checks see: messages of 17, then 0, 1, 2 and 3 bytes give "Read 17 bytes\n" and
// one line each for the others; a queue the user may not read: "mq_open: Permission
// denied\n", status 1.
//
// Run it: mq-thread-watch in one terminal; `my-mq-writer 3 10 20 30` (a peer of this project) in
// another writes three messages to "/my_mq".
// Checked by: exercise/exercise check mq-thread-watch mq-thread-watch.cpp
#include <fcntl.h>
#include <mqueue.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

int main() {
    return 0;
}
