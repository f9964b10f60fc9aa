// errstr-tls: strerror made safe for threads: each thread gets its own 256-byte buffer in
// thread-local storage. Programs linked with this object use its strerror in place of the C
// library's; errstr-thread-test shows it.
//
// What it must define: extern "C" char *strerror(int err) noexcept, the object's one global
// symbol (everything else static or in an anonymous namespace). It writes the message for err
// into the calling thread's buffer and returns that buffer:
//  - the buffer: thread_local char[256], in the static TLS block of the thread that calls
//    (zero-filled when the thread starts), reached with the local-exec TLS model
//    (__attribute__((tls_model("local-exec")))): the object is position-dependent, for
//    programs (the build compiles it -fno-pie, without exceptions);
//  - the message: for a known number (0 <= err < kErrCount and kErrList[err] not null; the
//    C library's texts, from errlist.hpp, written at build time) its text copied with strncpy
//    into at most 255 bytes, the rest up to byte 254 zero-filled and byte 255 zeroed (a longer
//    text is cut to 255 bytes and still ends); any other number as "Unknown error %d".
//    errmsg.hpp holds that rule as fillMessage(buf, err), shared with errstr-tsd: use it or
//    write the rule yourself.
// Each thread keeps its own last text: a call in one thread never changes another's, and the
// same thread always gets the same address back. Texts equal the C library's strerror (C
// locale) for every number from -1000 to 1000. Not async-signal-safe (it formats).
//
// Look at it: nm build/native/lib/errstr-tls.o (strerror the only global), readelf -r (the TLS
// offset relocation); errstr-thread-test compiles it in.
// Checked by: exercise/exercise check errstr-tls errstr-tls.cpp
#include <cstring>

#include "errmsg.hpp"

extern "C" char *strerror(int) noexcept {
    static char nothing[] = "";
    return nothing;
}
