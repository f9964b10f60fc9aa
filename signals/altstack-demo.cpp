// altstack-demo: unbounded recursion, 100,000 bytes a frame, uses up the ordinary stack; the
// SIGSEGV that follows is handled on an alternate stack (a heap block registered with
// sigaltstack), and the handler prints where its own frame lies, inside that heap.
// Watch it: altstack-demo; (ulimit -s 2048; altstack-demo) stops after fewer calls.
// Deliberate shortcut: the handler calls printf and fflush, which are not async-signal-safe;
// the stack is probed before each call line, so it runs out outside stdio, never inside it.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kAltStackBytes = 8192;   // SIGSTKSZ of 32-bit x86 Linux
constexpr std::size_t kFrameBytes = 100000;    // the array that makes each frame this deep
constexpr std::size_t kStdioHeadroom = 16384;  // more stack than printf ever takes

[[noreturn]] void failWith(const char *call) {
    const int err = errno;
    perror(call);
    exit(err);
}

// Deliberate shortcut: printf, strsignal and fflush in a handler (see the header).
void sigsegvHandler(int sig) {
    int local;
    printf("Caught signal %d (%s)\n", sig, strsignal(sig));
    printf("Top of handler stack near     %10p\n", static_cast<void *>(&local));
    fflush(nullptr);  // call lines still buffered when output goes to a pipe or a file
    _exit(1);
}

// Touches the stack kStdioHeadroom bytes below the caller's frame: when the stack is about to
// run out, the fault comes here and not half-way through the printf that follows, which could
// leave a partial call line in the buffer the handler flushes.
[[gnu::noinline]] void probeStdioHeadroom() {
    char room[kStdioHeadroom];
    *static_cast<volatile char *>(room) = 0;  // its lowest byte, the deepest point
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"  // unbounded on purpose
// Not inlined, and the array stays live across the recursive call (its address escapes, and
// the asm statement uses it afterwards), so every call takes a fresh frame with its own array
// at any optimisation level: the call can become neither a loop nor a frame-reusing tail call.
[[gnu::noinline]] void overflowStack(int callNum) {
    char a[kFrameBytes];
    probeStdioHeadroom();
    printf("Call %4d - top of stack near %10p\n", callNum, static_cast<void *>(a));
    overflowStack(callNum + 1);
    asm volatile("" : : "r"(a) : "memory");
}
#pragma GCC diagnostic pop

}  // namespace

int main() {
    int local;
    printf("Top of standard stack is near %10p\n", static_cast<void *>(&local));

    void *block = malloc(kAltStackBytes);
    if (block == nullptr)
        failWith("malloc");
    stack_t ss;
    ss.ss_sp = block;
    ss.ss_size = kAltStackBytes;
    ss.ss_flags = 0;
    if (sigaltstack(&ss, nullptr) == -1)
        failWith("sigaltstack");
    printf("Alternate stack is at %10p-%p\n", block, static_cast<char *>(sbrk(0)) - 1);

    struct sigaction sa;
    sa.sa_handler = sigsegvHandler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_ONSTACK;
    if (sigaction(SIGSEGV, &sa, nullptr) == -1)
        failWith("sigaction");

    overflowStack(1);
}
