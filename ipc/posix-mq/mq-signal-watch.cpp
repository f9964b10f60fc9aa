// mq-signal-watch: creates a POSIX message queue if need be, asks the kernel for SIGUSR1 when a
// message arrives on the empty queue, and on each signal reads every message standing there.
// Built twice: mq-signal-watch watches "/mymq" (run mq-sender elsewhere), mq-signal-watch-my_mq
// watches "/my_mq" (feed it with my-mq-writer). `cat /dev/mqueue/mymq` shows NOTIFY_PID while
// it is registered. Runs until killed; a failed call ends it with the error number as status.
// A SIGUSR1 sent by hand while registered ends it: the next registration fails with EBUSY.
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

namespace {

constexpr const char *kQueueName = MQ_SIGNAL_WATCH_QUEUE;
// A queue made here: only its owner may use it; ten messages of up to 8192 bytes, which are
// Linux's default limits and so valid for any user.
constexpr mode_t kQueueMode = 0600;
constexpr long kMaxMessages = 10;
constexpr long kMessageSize = 8192;

[[noreturn]] void fail(const char *what) {
    const int err = errno;
    perror(what);
    exit(err);
}

void handler(int) {
    // puts is not async-signal-safe. SIGUSR1 is blocked except inside sigsuspend, so the
    // handler never interrupts the main loop's own stdio calls.
    puts("\n Singal ");
}

// Take every message that stands in the queue; the non-blocking descriptor ends the loop with
// EAGAIN once it is empty (any other error ends it too).
void drain(mqd_t mqd, char *buf, long size) {
    ssize_t count;
    while ((count = mq_receive(mqd, buf, static_cast<size_t>(size), nullptr)) >= 0)
        printf("Read %ld bytes\n", static_cast<long>(count));
}

}  // namespace

int main() {
    // Each line reaches a pipe or file as it is printed: the program runs until it is killed.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    mq_attr wanted{};
    wanted.mq_maxmsg = kMaxMessages;
    wanted.mq_msgsize = kMessageSize;
    const mqd_t mqd = mq_open(kQueueName, O_RDONLY | O_CREAT | O_NONBLOCK, kQueueMode, &wanted);
    if (mqd == static_cast<mqd_t>(-1))
        fail("mq_open");
    mq_attr attr;
    if (mq_getattr(mqd, &attr) == -1)
        fail("mq_getattr");
    char *buf = static_cast<char *>(malloc(static_cast<size_t>(attr.mq_msgsize)));
    if (buf == nullptr)
        fail("malloc");

    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR1);
    if (sigprocmask(SIG_BLOCK, &block, nullptr) == -1)
        fail("sigprocmask");
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    if (sigaction(SIGUSR1, &action, nullptr) == -1)
        fail("sigaction");

    sigevent request{};
    request.sigev_notify = SIGEV_SIGNAL;
    request.sigev_signo = SIGUSR1;
    if (mq_notify(mqd, &request) == -1)
        fail("mq_notify");
    sigset_t empty;
    sigemptyset(&empty);

    for (;;) {
        // Messages that stood in the queue when the registration was made (at start-up, or
        // sent between the drain and the registration) raise no signal: take them now.
        drain(mqd, buf, attr.mq_msgsize);
        sigsuspend(&empty);
        drain(mqd, buf, attr.mq_msgsize);
        if (mq_notify(mqd, &request) == -1)
            fail("mq_notify");
    }
}
