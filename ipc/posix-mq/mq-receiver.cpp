// mq-receiver: takes one message (the highest priority, the oldest among equals) off the POSIX
// message queue "/mymq", reports its length and priority, and copies its bytes to standard output.
// Watch it: run mq-sender once (with "/mymq" made by mq-signal-watch, which is then stopped),
// then mq-receiver; on an empty queue it waits until a message comes.
// The report line goes through buffered stdout, the bytes straight to descriptor 1: on a pipe
// or file the report line comes last. A write that takes only part of the message is carried on
// to its end. Failures are reported; the status is always 0.
#include <fcntl.h>
#include <mqueue.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char *kQueueName = "/mymq";
constexpr unsigned kStartPriority = 50;  // shown when nothing was received
constexpr long kNothingReceived = -1;

// Open, learn the message size, allocate, receive. Each failure is reported, and the steps
// after it that need what it did not give (a descriptor, a size, a buffer) are not tried, so
// the count stays kNothingReceived.
long receiveOne(char **buf, unsigned *priority) {
    const mqd_t mqd = mq_open(kQueueName, O_RDONLY);
    if (mqd == static_cast<mqd_t>(-1)) {
        perror("mq_open");
        return kNothingReceived;
    }
    mq_attr attr;
    if (mq_getattr(mqd, &attr) == -1) {
        perror("mq_getattr");
        return kNothingReceived;
    }
    *buf = static_cast<char *>(malloc(static_cast<size_t>(attr.mq_msgsize)));
    if (*buf == nullptr) {
        perror("malloc");
        return kNothingReceived;
    }
    const long count = mq_receive(mqd, *buf, static_cast<size_t>(attr.mq_msgsize), priority);
    if (count == -1)
        perror("mq_receive");
    return count;
}

// Write all `count` bytes to fd: a write may take only part of them (a stop signal during a
// write to a full pipe, a non-blocking descriptor that fills up), so go on with the rest until
// all are written, retrying a write that a signal interrupted and waiting for room where the
// descriptor is non-blocking. -1, with errno set, when a write fails otherwise.
int writeAll(int fd, const char *bytes, size_t count) {
    while (count > 0) {
        const ssize_t n = write(fd, bytes, count);
        if (n >= 0) {
            bytes += n;
            count -= static_cast<size_t>(n);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd room{fd, POLLOUT, 0};
            poll(&room, 1, -1);
        } else if (errno != EINTR) {
            return -1;
        }
    }
    return 0;
}

}  // namespace

int main() {
    char *buf = nullptr;
    unsigned priority = kStartPriority;
    const long count = receiveOne(&buf, &priority);

    printf("Read %ld bytes; priority = %u\n", count, priority);
    // Nothing received: no bytes to write, just the newline.
    if (count >= 0 && writeAll(STDOUT_FILENO, buf, static_cast<size_t>(count)) == -1)
        perror("write");
    writeAll(STDOUT_FILENO, "\n", 1);  // whether it could be written or not, nothing follows
    return 0;
}
