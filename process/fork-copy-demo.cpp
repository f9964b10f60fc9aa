// fork-copy-demo: the child works on a copy of the parent's memory. The child prints k (10),
// sets it to 44, prints it again and exits with 100; the parent waits for it, prints its own k
// (still 10) and the child's exit status. Run it from a shell; the parent's last two lines
// always come after the child's. A child killed by a signal shows status 0 (the exit-status
// byte of its wait status). If fork fails, the parent finds no child, shows status 0 and ends
// with status 1.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kChildExitStatus = 100;

}  // namespace

int main() {
    int k = 10;
    const pid_t pid = fork();
    if (pid == 0) {
        printf(" child: My pid = %d \n", getpid());
        printf(" end of child k = %d\n", k);
        k = 44;
        printf(" end of child k = %d\n", k);
        exit(kChildExitStatus);
    }
    printf(" My pid = %d \n", getpid());
    printf(" Newly created child pid = %d \n", pid);
    int status = 0;  // stays 0 when there is no child to wait for
    wait(&status);
    printf("end of parent k = %d\n", k);
    printf("Child status = %d\n", WEXITSTATUS(status));
    return pid < 0 ? 1 : 0;
}
