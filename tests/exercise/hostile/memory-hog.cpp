// A memory hog: takes memory and writes to it until it gets no more, says so, and ends.
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main() {
    for (;;) {
        void *block = std::malloc(64 << 20);
        if (!block) {
            std::perror("malloc");
            return 1;
        }
        std::memset(block, 1, 64 << 20);
    }
}
