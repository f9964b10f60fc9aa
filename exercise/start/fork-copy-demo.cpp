// fork-copy-demo: the child works on a copy of the parent's memory, and the parent collects
// the child's exit status with wait.
//
// What it must do: int k = 10; fork.
//  - Child: printf(" child: My pid = %d \n", getpid()); printf(" end of child k = %d\n", k);
//    k = 44; printf(" end of child k = %d\n", k); exit(100).
//  - Parent: printf(" My pid = %d \n", getpid()); printf(" Newly created child pid = %d \n",
//    pid); int status = 0; wait(&status); printf("end of parent k = %d\n", k) (still 10);
//    printf("Child status = %d\n", WEXITSTATUS(status)) (100); return 0.
// So the parent's last two lines always come after the child's. A child killed by a signal
// shows status 0 (the exit-status byte of its wait status). If fork fails (-1), wait finds no
// child, status stays 0 ("Newly created child pid = -1", "Child status = 0") and the parent
// ends with status 1. Keep the C library's buffering: nothing is printed before the fork.
//
// Run it: fork-copy-demo
// Checked by: exercise/exercise check fork-copy-demo fork-copy-demo.cpp
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main() {
    return 0;
}
