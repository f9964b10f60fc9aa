// errstr-tls: strerror made safe for threads by giving each thread its own 256-byte buffer in
// thread-local storage, reached with the local-exec model (so the object is position-dependent:
// for programs, not shared libraries). A program linked with it uses this strerror in place of
// the C library's; errstr-thread-test shows it. `nm errstr-tls.o` shows strerror as the only
// global; `readelf -r` the TLS offset relocation. Not async-signal-safe (snprintf).
#include <cstring>

#include "errmsg.hpp"

namespace {

// Zero-filled when a thread starts, released when it ends; the last text made in that thread.
__attribute__((tls_model("local-exec"))) thread_local char buf[kBufSize];

}  // namespace

extern "C" char *strerror(int err) noexcept {
    fillMessage(buf, err);
    return buf;
}
