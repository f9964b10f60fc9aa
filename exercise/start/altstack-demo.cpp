// altstack-demo: unbounded recursion uses up the ordinary stack; the SIGSEGV that follows is
// handled on an alternate stack (a heap block registered with sigaltstack), and the handler
// prints where its own frame lies, inside that heap.
//
// What it must do, in main:
//  1. printf("Top of standard stack is near %10p\n", &local) (a local variable of main).
//  2. malloc 8192 bytes (SIGSTKSZ of 32-bit x86 Linux) for the alternate stack.
//  3. sigaltstack with a stack_t: ss_sp the block, ss_size 8192, ss_flags 0; no old stack.
//  4. printf("Alternate stack is at %10p-%p\n", block, (char *)sbrk(0) - 1): the block and
//     the end of the heap it lies in.
//  5. sigaction(SIGSEGV) with sa_handler sigsegvHandler, sigemptyset(&sa_mask), sa_flags
//     SA_ONSTACK alone.
//  6. overflowStack(1).
// overflowStack(int callNum): a local char array of 100,000 bytes;
//   printf("Call %4d - top of stack near %10p\n", callNum, array); overflowStack(callNum + 1).
//   No base case. Each call must keep a fresh frame with its array while the next call runs:
//   the compiler may turn neither the recursion into a loop nor the call into a tail call
//   (keep the array live after the call and the function not inlined).
// sigsegvHandler(int sig), on the alternate stack:
//   printf("Caught signal %d (%s)\n", sig, strsignal(sig));
//   printf("Top of handler stack near     %10p\n", &local) (five blanks; inside the range of
//   step 4); fflush(nullptr) (the call lines still buffered on a pipe); _exit(1).
// Failures: perror("malloc"), perror("sigaltstack"), perror("sigaction"), each ending the
// program with errno as its status. Nothing else on standard error; the status is 1.
// The handler calls printf, which is not async-signal-safe: so that the stack never runs out
// half-way through a printf (leaving a partial line), touch the stack 16 KiB below the frame
// before each call line. With an 8 MiB stack limit about 80 call lines come, each about
// 100 KB (0x186a0) below the one before; with 2 MiB about 20.
//
// Run it: altstack-demo; (ulimit -s 2048; altstack-demo) stops after fewer calls.
// Checked by: exercise/exercise check altstack-demo altstack-demo.cpp
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main() {
    return 0;
}
