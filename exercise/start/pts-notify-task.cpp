// pts-notify-task: notifies whoever works at the terminal /dev/pts/1 that a value changed, by
// running one shell command through system().
//
// What it must do: return system("echo \"Value Changed\" > /dev/pts/1"); nothing else. The
// program prints nothing itself: "Value Changed" shows up on /dev/pts/1 (the terminal turns
// its "\n" into "\r\n"). Without a /dev/pts/1, or with one it may not write, the shell's
// complaint appears on this program's standard error and the status is still 0: the shell's
// status sits in bits 8 to 15 of system()'s wait status, and only the low eight bits become
// the exit status.
//
// Run it: open two terminals; in the one that is not /dev/pts/1 (see `tty`), pts-notify-task.
// Checked by: exercise/exercise check pts-notify-task pts-notify-task.cpp
#include <cstdlib>

int main() {
    return 0;
}
