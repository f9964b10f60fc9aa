// mq-signal-watch: creates a POSIX message queue if need be, asks the kernel for SIGUSR1 when
// a message arrives on the empty queue, and on each signal reads every message standing there.
//
// The queue's name comes from the build: MQ_SIGNAL_WATCH_QUEUE, "/mymq" for mq-signal-watch
// (mq-sender writes it) and "/my_mq" for mq-signal-watch-my_mq (the peer my-mq-writer writes
// it). One source, two programs.
//
// What it must do. Start-up; any failure: perror with the call's name ("mq_open",
// "mq_getattr", "malloc", "sigprocmask", "sigaction", "mq_notify") and exit with errno:
//  1. mq_open(name, O_RDONLY | O_CREAT | O_NONBLOCK, 0600, attributes of 10 messages of up to
//     8192 bytes) (Linux's default limits, so any user may create it).
//  2. mq_getattr; malloc one buffer of mq_msgsize bytes, kept for the whole run (a failed
//     malloc takes no message off the queue: "malloc: Cannot allocate memory", status 12).
//  3. Block SIGUSR1 with sigprocmask(SIG_BLOCK); install handler for it with sigaction (empty
//     sa_mask, sa_flags 0). handler prints, with puts, "\n Singal " (an empty line, then the
//     line " Singal ").
//  4. mq_notify with a sigevent: SIGEV_SIGNAL, signal SIGUSR1.
//  5. Drain once before waiting (messages already standing raise no notification).
// Then for ever: sigsuspend with an empty mask (the handler runs and prints); drain: mq_receive
// into the buffer again and again, printf("Read %ld bytes\n", count) after each, until the
// first failure (EAGAIN: the queue is empty); mq_notify again (a registration is spent by its
// signal; on failure perror("mq_notify"), exit with errno); drain once more.
// Standard output is line-buffered (setvbuf), so every line reaches a pipe at once.
// What the checks see:
//  - one mq-sender run: "\n Singal \nRead 25 bytes\n", then it waits again;
//  - a SIGUSR1 sent by hand while registered: "\n Singal \n", then the new registration fails:
//    "mq_notify: Device or resource busy\n", status 16 (so also when another process holds the
//    queue's registration);
//  - a queue the user may not read: "mq_open: Permission denied\n", status 13.
//
// Run it: mq-signal-watch in one terminal, mq-sender in another (`cat /dev/mqueue/mymq` shows
// NOTIFY_PID while it is registered).
// Checked by: exercise/exercise check mq-signal-watch mq-signal-watch.cpp
#include <fcntl.h>
#include <mqueue.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#ifndef MQ_SIGNAL_WATCH_QUEUE
#error "build with MQ_SIGNAL_WATCH_QUEUE defined as the queue's name"
#endif

int main() {
    return 0;
}
