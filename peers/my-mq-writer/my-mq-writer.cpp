// my-mq-writer: a writer for the POSIX message queue "/my_mq", which no deliverable writes;
// tests and the tour feed mq-thread-watch and mq-signal-watch-my_mq with it.
//   my-mq-writer COUNT SIZE...   sends COUNT messages, the i-th of size SIZE[i mod n], with
//                                priority 0; a SIZE may be a range FIRST-LAST (each in turn)
// The queue must exist; sends block while it is full. Prints one summary line when done.
// Status: 0 when all are sent, 1 when a call fails, 2 on bad arguments.
#include <fcntl.h>
#include <mqueue.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr const char *kQueueName = "/my_mq";
constexpr long kMaxCount = 100000000;
constexpr long kMaxSize = 16 * 1024 * 1024;  // the kernel's largest message size
constexpr long kMaxSizes = 1000000;          // sizes after ranges are expanded
constexpr int kBadArguments = 2;
constexpr int kFailed = 1;

[[noreturn]] void usage(const char *why) {
    fprintf(stderr, "my-mq-writer: %s\nusage: my-mq-writer COUNT SIZE|FIRST-LAST...\n", why);
    exit(kBadArguments);
}

// A whole decimal number in [0, max], or usage().
long number(const char *text, const char *end, long max) {
    if (text == end)
        usage("empty number");
    long value = 0;
    for (const char *p = text; p != end; ++p) {
        if (*p < '0' || *p > '9')
            usage("not a number");
        value = value * 10 + (*p - '0');
        if (value > max)
            usage("number too large");
    }
    return value;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3)
        usage("need a count and at least one size");
    const long count = number(argv[1], argv[1] + strlen(argv[1]), kMaxCount);
    std::vector<long> sizes;
    long largest = 0;
    for (int i = 2; i < argc; ++i) {
        const char *end = argv[i] + strlen(argv[i]);
        const char *dash = strchr(argv[i], '-');
        const long first = number(argv[i], dash ? dash : end, kMaxSize);
        const long last = dash ? number(dash + 1, end, kMaxSize) : first;
        if (last < first)
            usage("range runs backwards");
        if (last - first + 1 > kMaxSizes - static_cast<long>(sizes.size()))
            usage("too many sizes");
        for (long size = first; size <= last; ++size)
            sizes.push_back(size);
        if (last > largest)
            largest = last;
    }

    const mqd_t mqd = mq_open(kQueueName, O_WRONLY);
    if (mqd == static_cast<mqd_t>(-1)) {
        perror("my-mq-writer: mq_open /my_mq");
        return kFailed;
    }
    std::vector<char> message(static_cast<size_t>(largest) + 1, 'm');
    for (long i = 0; i < count; ++i) {
        const long size = sizes[static_cast<size_t>(i) % sizes.size()];
        if (mq_send(mqd, message.data(), static_cast<size_t>(size), 0) == -1) {
            const int err = errno;
            fprintf(stderr, "my-mq-writer: mq_send of message %ld (%ld bytes): %s\n", i + 1, size,
                    strerror(err));
            return kFailed;
        }
    }
    printf("my-mq-writer: sent %ld message%s to %s\n", count, count == 1 ? "" : "s", kQueueName);
    return 0;
}
