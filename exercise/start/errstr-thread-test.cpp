// errstr-thread-test: shows that the thread-local strerror (errstr-tls, which the build links
// in, in place of the C library's) keeps one message per thread.
//
// What it must do:
//  - main: char *str = strerror(EINVAL); puts("Main thread has called strerror()");
//    pthread_create a second thread (default attributes, threadFunc, null argument);
//    pthread_join it; printf("Main thread:  str (%p) = %s\n", str, str) (two blanks after the
//    colon); status 0.
//  - threadFunc(void *): puts("Other thread about to call strerror()"); char *str =
//    strerror(EPERM); printf("Other thread: str (%p) = %s\n", str, str); return nullptr.
// So four lines, in this order; the two addresses differ, and the main thread's text is still
// "Invalid argument" after the other thread got "Operation not permitted".
// A failed pthread_create or pthread_join: report it as perror would, with the number the
// call returned ("pthread_create: Resource temporarily unavailable"), without calling
// strerror in this thread (which would overwrite its message), and end with that number as
// the status. The program is position-dependent (errstr-tls is), which the build sees to.
//
// Run it: errstr-thread-test
// Checked by: exercise/exercise check errstr-thread-test errstr-thread-test.cpp
#include <pthread.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int main() {
    return 0;
}
