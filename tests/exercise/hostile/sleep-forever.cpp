// A library whose function never returns.
#include <unistd.h>

extern "C" int somefunc(int, int) {
    for (;;)
        pause();
}
