// A daemon: forks twice, leaves its session, and lives on after the program has ended,
// under a name of its own, checking every second whether it still runs.
#include <cstdio>
#include <sys/prctl.h>
#include <unistd.h>

int main() {
    if (fork() == 0) {
        setsid();
        if (fork() == 0) {
            prctl(PR_SET_NAME, "mech-hostile-d");
            for (;;)
                sleep(1);
        }
        _exit(0);
    }
    std::printf("lib test\n");
    return 0;
}
