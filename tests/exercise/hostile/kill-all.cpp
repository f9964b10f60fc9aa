// Kills every process it may signal.
#include <csignal>

int main() {
    kill(-1, SIGKILL);
    return 0;
}
