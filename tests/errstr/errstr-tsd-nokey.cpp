// Test helper linked with errstr-tsd: takes every thread-specific data key the process may
// have before the first strerror call, so that errstr-tsd cannot create its own; then prints
// what strerror gives for a known and an unknown number.
#include <pthread.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int main() {
    pthread_key_t key;
    int taken = 0;
    while (pthread_key_create(&key, nullptr) == 0)
        ++taken;
    if (taken == 0)
        return 2;
    puts(strerror(EINVAL));
    puts(strerror(-3));
    return 0;
}
