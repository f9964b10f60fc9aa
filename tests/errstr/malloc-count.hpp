// Counters of malloc and free for programs linked with -Wl,--wrap=malloc -Wl,--wrap=free:
// every malloc and free that the program's own objects call (errstr-tsd's among them) passes
// through them; the C library's internal allocations do not.
#pragma once

#include <atomic>
#include <cstddef>

namespace malloc_count {

inline constexpr std::size_t kBufSize = 256;  // what errstr-tsd allocates per thread

extern thread_local int tMallocs;  // this thread's successful mallocs
extern thread_local void *tLastMalloc;
extern thread_local bool tFailNextMalloc;   // make this thread's next malloc fail with ENOMEM
extern std::atomic<long> gMallocs, gFrees;  // every thread's
extern std::atomic<void *> gLastFreed;

// Bytes the heap holds for the program now.
std::size_t heapInUse();

}  // namespace malloc_count
