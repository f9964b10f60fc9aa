// fork-parent-child: the process ids on both sides of a fork, and a child whose parent never
// collects it.
//
// What it must do: fork once (a failure, -1, takes the parent's path like any non-zero value).
//  - Child: printf(" child: My pid = %d and ppid = %d  \n", getpid(), getppid()) (two blanks
//    before the newline); sleep(10); print the same line again (with its parent's pid as it is
//    then); return 0.
//  - Parent: printf(" PARENT : My pid = %d \n", getpid());
//    printf(" Newly created child pid = %d \n", pid); then spin for ever in an empty loop,
//    never calling wait (the finished child stays a zombie). Make the loop read a volatile
//    flag, or the compiler may remove an infinite loop with no side effects.
// Kill the parent during the child's sleep and the child's second line names its new parent
// (1, or the nearest subreaper). Keep the C library's buffering: nothing is printed before the
// fork, so no buffered line is copied into the child and printed twice.
//
// Run it on a terminal: fork-parent-child (on a pipe the parent's lines stay in its buffer,
// since it ends only when killed), then `ps -o pid,ppid,stat,cmd` in another terminal.
// Checked by: exercise/exercise check fork-parent-child fork-parent-child.cpp
#include <unistd.h>

#include <csignal>
#include <cstdio>

int main() {
    return 0;
}
