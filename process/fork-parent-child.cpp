// fork-parent-child: the process ids on both sides of a fork. The child prints its pid and its
// parent's pid, sleeps ten seconds and prints them again; the parent prints both pids and then
// spins for ever without collecting the child. Kill the parent during the child's sleep and the
// child's second line names its new parent (1, or the nearest subreaper). Run it on a terminal:
// on a pipe the parent's lines stay in its buffer, since it only ends by being killed.
#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace {

constexpr unsigned kChildSleepSeconds = 10;

// Read on every turn of the parent's loop, so the empty loop is kept as written (an infinite
// loop with no side effects may be removed by the compiler).
volatile std::sig_atomic_t spinning = 1;

}  // namespace

int main() {
    const pid_t pid = fork();  // a failure (-1) takes the parent's path, as any non-zero value
    if (pid == 0) {
        printf(" child: My pid = %d and ppid = %d  \n", getpid(), getppid());
        sleep(kChildSleepSeconds);
        printf(" child: My pid = %d and ppid = %d  \n", getpid(), getppid());
        return 0;
    }
    printf(" PARENT : My pid = %d \n", getpid());
    printf(" Newly created child pid = %d \n", pid);
    while (spinning) {
    }
}
