// mq-thread-watch: creates the POSIX message queue "/my_mq" if need be and asks the C library
// to run threadFunc on a new thread whenever a message arrives on the empty queue; each such
// thread reads every message standing there, registers the next notification and ends.
// Watch it: start it, then write "/my_mq" from another process (my-mq-writer 3 10 20 30).
// Runs until killed. A failed open or registration ends it with status 1, and so does a thread
// without the message size or a buffer, before it takes a message: none is lost.
#include <fcntl.h>
#include <mqueue.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char *kQueueName = "/my_mq";
// A queue made here: only its owner may use it; ten messages of up to 8192 bytes, which are
// Linux's default limits and so valid for any user.
constexpr mode_t kQueueMode = 0600;
constexpr long kMaxMessages = 10;
constexpr long kMessageSize = 8192;
constexpr int kFailureStatus = 1;

void threadFunc(sigval value);

void notifySetup(mqd_t *mqdp) {
    sigevent request{};
    request.sigev_notify = SIGEV_THREAD;
    request.sigev_notify_function = threadFunc;
    request.sigev_notify_attributes = nullptr;
    request.sigev_value.sival_ptr = mqdp;
    if (mq_notify(*mqdp, &request) == -1) {
        perror("mq_notify");
        exit(kFailureStatus);
    }
}

// The queue's message size and a buffer of that size, or the end of the process: without
// them no message may be taken off the queue, and those standing stay for the next reader.
char *takeBuffer(mqd_t mqd, long *size) {
    mq_attr attr;
    if (mq_getattr(mqd, &attr) == -1) {
        perror("mq_getattr");
        exit(kFailureStatus);
    }
    char *buf = static_cast<char *>(malloc(static_cast<size_t>(attr.mq_msgsize)));
    if (buf == nullptr) {
        perror("malloc");
        exit(kFailureStatus);
    }
    *size = attr.mq_msgsize;
    return buf;
}

// Take every message that stands in the queue; the non-blocking descriptor ends the loop with
// EAGAIN once it is empty (any other error ends it too).
void drain(mqd_t mqd, char *buf, long size) {
    ssize_t count;
    while ((count = mq_receive(mqd, buf, static_cast<size_t>(size), nullptr)) >= 0)
        printf("Read %ld bytes\n", static_cast<long>(count));
}

void threadFunc(sigval value) {
    mqd_t *mqdp = static_cast<mqd_t *>(value.sival_ptr);
    long size;
    char *buf = takeBuffer(*mqdp, &size);
    drain(*mqdp, buf, size);
    notifySetup(mqdp);
    // Messages sent between the drain and the registration raise no notification.
    drain(*mqdp, buf, size);
    free(buf);
    pthread_exit(nullptr);
}

}  // namespace

int main() {
    // Each line reaches a pipe or file as it is printed: the program runs until it is killed.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    mq_attr wanted{};
    wanted.mq_maxmsg = kMaxMessages;
    wanted.mq_msgsize = kMessageSize;
    mqd_t mqd = mq_open(kQueueName, O_RDONLY | O_CREAT | O_NONBLOCK, kQueueMode, &wanted);
    if (mqd == static_cast<mqd_t>(-1)) {
        perror("mq_open");
        exit(kFailureStatus);
    }
    notifySetup(&mqd);

    // Messages that stood in the queue before the registration raise no notification.
    long size;
    char *buf = takeBuffer(mqd, &size);
    drain(mqd, buf, size);
    free(buf);

    for (;;)
        pause();
}
