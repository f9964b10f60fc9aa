// errstr-tsd: strerror made safe for threads: each thread gets a 256-byte heap buffer on its
// first call, found again through a thread-specific data key created once per process; the
// key's destructor frees the buffer when the thread ends.
//
// What it must define: extern "C" char *strerror(int err) noexcept, the object's one global
// symbol (everything else static or in an anonymous namespace), and no thread-local storage:
//  1. pthread_once: create the key once, with pthread_key_create and a destructor that frees
//     the buffer. A failed creation is reported once ("pthread_key_create: Resource
//     temporarily unavailable" when no key is left) and the key is never used.
//  2. pthread_getspecific: this thread's buffer. None yet (its first call): malloc 256 bytes
//     (on failure perror("malloc")) and pthread_setspecific it. A thread that never calls
//     allocates nothing; later calls allocate nothing; an ending thread frees its buffer.
//  3. Write the message into the buffer and return it: a known number (0 <= err < kErrCount
//     and kErrList[err] not null; the C library's texts, from errlist.hpp) copied with strncpy
//     into at most 255 bytes with byte 255 zeroed; any other number as "Unknown error %d".
//     errmsg.hpp holds that rule as fillMessage(buf, err), shared with errstr-tls.
// With no buffer to write (no key, or malloc failed) return a read-only text instead: the
// table's own for a known number, "Unknown error" (no number) otherwise; the next call tries
// malloc again. Thread-library failures are reported as perror words them (their returned
// number as errno), and every report keeps the caller's errno.
// Texts equal the C library's strerror (C locale) for every number from -1000 to 1000.
// Position-dependent, for programs that also link the thread library (the build compiles it
// -fno-pie, without exceptions).
//
// Look at it: nm build/native/lib/errstr-tsd.o (strerror the only global).
// Checked by: exercise/exercise check errstr-tsd errstr-tsd.cpp
#include <pthread.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "errmsg.hpp"

extern "C" char *strerror(int) noexcept {
    static char nothing[] = "";
    return nothing;
}
