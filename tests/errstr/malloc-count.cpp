// The malloc and free wrappers behind malloc-count.hpp.
#include "malloc-count.hpp"

#include <malloc.h>

#include <cerrno>

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime (GCC installs no header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

extern "C" void *__real_malloc(std::size_t size);
extern "C" void __real_free(void *block);

namespace malloc_count {

thread_local int tMallocs = 0;
thread_local void *tLastMalloc = nullptr;
thread_local bool tFailNextMalloc = false;
std::atomic<long> gMallocs{0}, gFrees{0};
std::atomic<void *> gLastFreed{nullptr};

std::size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

}  // namespace malloc_count

using namespace malloc_count;

extern "C" void *__wrap_malloc(std::size_t size) {
    if (tFailNextMalloc) {
        tFailNextMalloc = false;
        errno = ENOMEM;
        return nullptr;
    }
    void *block = __real_malloc(size);
    ++tMallocs;
    tLastMalloc = block;
    ++gMallocs;
    return block;
}

extern "C" void __wrap_free(void *block) {
    if (block != nullptr) {
        ++gFrees;
        gLastFreed = block;
    }
    __real_free(block);
}
