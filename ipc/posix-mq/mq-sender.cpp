// mq-sender: puts one message, the 24 characters "writing message to queue" and their NUL
// (25 bytes), with priority 50 on the POSIX message queue "/mymq", and ends.
// Watch it: start mq-signal-watch (it creates "/mymq") and run mq-sender elsewhere; or kill the
// watcher, run mq-sender, `cat /dev/mqueue/mymq` (QSIZE:25) and take the message with mq-receiver.
// The queue must exist already. Failures are reported and passed over: the status is always 0.
#include <fcntl.h>
#include <mqueue.h>

#include <cstdio>

namespace {

constexpr const char *kQueueName = "/mymq";
constexpr char kMessage[] = "writing message to queue";  // sent with its NUL: 25 bytes
constexpr unsigned kPriority = 50;

}  // namespace

int main() {
    const mqd_t mqd = mq_open(kQueueName, O_WRONLY);
    if (mqd == static_cast<mqd_t>(-1))
        perror("mq_open");
    // After a failed open this sends on -1 and so reports EBADF as well. A full queue makes
    // the blocking send wait until a reader takes a message.
    if (mq_send(mqd, kMessage, sizeof kMessage, kPriority) == -1)
        perror("mq_send");
    return 0;
}
