// mysem-poster: the outside process that creates and posts the POSIX named semaphore "/mysem"
// which named-sem-wait waits on (a peer for tests and the tour, not a deliverable).
//   mysem-poster VALUE POSTS [DELAY_MS [MODE]]
// opens "/mysem", creating it with VALUE and MODE (octal, default 600, umask ignored) when it
// does not exist (an existing one keeps its value and mode), then POSTS times waits DELAY_MS
// milliseconds and posts it. Each step prints a line with the value it leaves.
#include <fcntl.h>
#include <semaphore.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

constexpr const char *kSemName = "/mysem";
constexpr unsigned kDefaultMode = 0600;
constexpr long kMaxDelayMs = 3600 * 1000;  // an hour: more is a typing error
constexpr long kMaxPosts = 1000000;

// A whole number in [0, max] written in `base`, or -1.
long parse(const char *text, int base, long max) {
    errno = 0;
    char *end = nullptr;
    const long value = strtol(text, &end, base);
    if (errno != 0 || end == text || *end != '\0' || value < 0 || value > max)
        return -1;
    return value;
}

void sleepMs(long ms) {
    timespec left{ms / 1000, (ms % 1000) * 1000000};
    while (nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
}

int value(sem_t *sem) {
    int v = -1;
    sem_getvalue(sem, &v);
    return v;
}

}  // namespace

int main(int argc, char **argv) {
    const long initial = argc >= 3 ? parse(argv[1], 10, SEM_VALUE_MAX) : -1;
    const long posts = argc >= 3 ? parse(argv[2], 10, kMaxPosts) : -1;
    const long delayMs = argc >= 4 ? parse(argv[3], 10, kMaxDelayMs) : 0;
    const long mode = argc >= 5 ? parse(argv[4], 8, 07777) : kDefaultMode;
    if (argc < 3 || argc > 5 || initial < 0 || posts < 0 || delayMs < 0 || mode < 0) {
        fprintf(stderr, "usage: mysem-poster VALUE POSTS [DELAY_MS [MODE]]\n");
        return 2;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);  // lines show as they happen, also on a pipe

    umask(0);
    sem_t *sem =
        sem_open(kSemName, O_CREAT, static_cast<mode_t>(mode), static_cast<unsigned>(initial));
    if (sem == SEM_FAILED) {
        perror("mysem-poster: sem_open");
        return 1;
    }
    printf("mysem-poster: %s opened, value %d\n", kSemName, value(sem));
    for (long i = 0; i < posts; i++) {
        sleepMs(delayMs);
        if (sem_post(sem) == -1) {
            perror("mysem-poster: sem_post");
            return 1;
        }
        printf("mysem-poster: %s posted, value %d\n", kSemName, value(sem));
    }
    return 0;
}
