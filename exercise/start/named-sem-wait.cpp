// named-sem-wait: opens the existing POSIX named semaphore "/mysem", takes two units from it
// (waiting each time until it can) and prints its process id.
//
// What it must do:
//  1. sem_open("/mysem", 0): flags 0, no O_CREAT, so the semaphore must exist. On SEM_FAILED:
//     perror("sem_open") and exit with the error number as status.
//  2. sem_wait, twice; on -1: perror("sem_wait") and exit with the error number.
//  3. printf("%ld sem_wait() succeeded\n", (long)getpid()); exit(0).
// There is no time limit on a wait: with the value at 2 it passes at once (and leaves 0),
// at 1 it sleeps in the second wait (on a futex) until another process posts, at 0 it needs
// two posts. What the checks see on standard error:
//  - no "/mysem": "sem_open: No such file or directory\n", status 2;
//  - a semaphore the user may not use: "sem_open: Permission denied\n", status 13.
//
// Run it: `mysem-poster 1 0` (this project's peer: makes "/mysem" with value 1), then
// named-sem-wait, which sleeps; `mysem-poster 0 1` elsewhere releases it.
// Checked by: exercise/exercise check named-sem-wait named-sem-wait.cpp
#include <fcntl.h>
#include <semaphore.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

int main() {
    return 0;
}
