// named-sem-wait: opens the existing POSIX named semaphore "/mysem" (it creates nothing),
// takes two units from it, waiting each time until it can, then prints its process id.
// Watch it: `mysem-poster 1 0` (make it with value 1), then named-sem-wait, which takes that
// unit and sleeps; `mysem-poster 0 1` in another shell gives the second and releases it.
// A wait has no time limit; each failure ends the program with the error number as status.
#include <fcntl.h>
#include <semaphore.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char *kSemName = "/mysem";
constexpr int kUnits = 2;  // units taken before the line is printed

}  // namespace

int main() {
    // Flags 0: no O_CREAT, so the semaphore must already exist.
    sem_t *sem = sem_open(kSemName, 0);
    if (sem == SEM_FAILED) {
        const int err = errno;  // kept across perror's own calls
        perror("sem_open");
        exit(err);
    }
    for (int i = 0; i < kUnits; i++) {
        if (sem_wait(sem) == -1) {
            const int err = errno;
            perror("sem_wait");
            exit(err);
        }
    }
    printf("%ld sem_wait() succeeded\n", static_cast<long>(getpid()));
    exit(0);
}
