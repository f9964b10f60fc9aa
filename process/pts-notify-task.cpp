// pts-notify-task: notifies whoever works at the terminal /dev/pts/1 that a value changed, by
// running one shell command through system(). It prints nothing itself: the line shows up on
// that other terminal (open two terminals, run it in the one that is not /dev/pts/1). Without a
// /dev/pts/1 the shell's complaint appears here and the status is still 0, since only the low
// eight bits of system()'s wait status become the exit status.
#include <cstdlib>

namespace {

constexpr const char *kCommand = "echo \"Value Changed\" > /dev/pts/1";

}  // namespace

int main() {
    return system(kCommand);
}
