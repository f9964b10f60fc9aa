// Floods its output: writes to standard output for ever.
#include <unistd.h>

int main() {
    static char block[1 << 16];
    for (char &c : block)
        c = 'y';
    for (;;)
        (void)!write(1, block, sizeof block);
}
