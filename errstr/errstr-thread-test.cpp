// errstr-thread-test: shows that the thread-local strerror (errstr-tls, compiled in) keeps one
// message per thread. The main thread gets EINVAL's text, a second thread then gets EPERM's,
// and the main thread's text is still EINVAL's: two different buffer addresses are printed.
// Run it as it is: errstr-thread-test. Output to a pipe appears when the program ends.
#include <pthread.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

void *threadFunc(void *) {
    puts("Other thread about to call strerror()");
    char *str = strerror(EPERM);
    printf("Other thread: str (%p) = %s\n", static_cast<void *>(str), str);
    return nullptr;
}

}  // namespace

int main() {
    char *str = strerror(EINVAL);
    puts("Main thread has called strerror()");

    pthread_t thread;
    int rc = pthread_create(&thread, nullptr, threadFunc, nullptr);
    if (rc != 0) {  // perror's wording, without touching this thread's message buffer
        errno = rc;
        perror("pthread_create");
        return rc;
    }
    rc = pthread_join(thread, nullptr);
    if (rc != 0) {
        errno = rc;
        perror("pthread_join");
        return rc;
    }
    printf("Main thread:  str (%p) = %s\n", static_cast<void *>(str), str);
    return 0;
}
