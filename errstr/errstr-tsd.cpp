// errstr-tsd: strerror made safe for threads by giving each thread a 256-byte heap buffer,
// allocated on its first call and found again through a thread-specific data key created once
// per process; the key's destructor frees the buffer when the thread ends. Position-dependent,
// for programs that also link the thread library. `nm errstr-tsd.o` shows strerror as the only
// global. Not async-signal-safe (it may allocate, and it formats).
#include <pthread.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "errmsg.hpp"

namespace {

pthread_once_t once = PTHREAD_ONCE_INIT;
pthread_key_t strerrorKey;
bool keyCreated = false;  // written once inside pthread_once; strerrorKey is usable only then

// A thread-library failure, worded as perror words it; the caller's errno is kept.
void reportError(const char *prefix, int rc) {
    const int saved = errno;
    errno = rc;
    std::perror(prefix);
    errno = saved;
}

void destructor(void *buffer) {
    std::free(buffer);
}

void createKey() {
    const int rc = pthread_key_create(&strerrorKey, destructor);
    if (rc != 0) {
        reportError("pthread_key_create", rc);
        return;
    }
    keyCreated = true;
}

// With no buffer to write (no key, or no memory) the text cannot be formatted safely: a known
// number gets the table's own read-only text, any other the fixed "Unknown error".
char *withoutBuffer(int err) {
    return const_cast<char *>(knownError(err) ? kErrList[err] : "Unknown error");
}

}  // namespace

extern "C" char *strerror(int err) noexcept {
    int rc = pthread_once(&once, createKey);
    if (rc != 0)
        reportError("pthread_once", rc);
    if (!keyCreated)
        return withoutBuffer(err);

    char *buf = static_cast<char *>(pthread_getspecific(strerrorKey));
    if (buf == nullptr) {  // this thread's first call
        buf = static_cast<char *>(std::malloc(kBufSize));
        if (buf == nullptr) {
            std::perror("malloc");
            return withoutBuffer(err);
        }
        rc = pthread_setspecific(strerrorKey, buf);
        if (rc != 0)  // the buffer is used once and not found again: it leaks
            reportError("pthread_setspecific", rc);
    }
    fillMessage(buf, err);
    return buf;
}
