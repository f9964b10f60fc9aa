// Fuzzes mail-menu's input with the real code (its mailMenu, without its main): the input is
// the whole of standard input. The menu must end (choice 3 or the end of the input) without
// overflowing a buffer, and call the library only as a confirmed send or a read count.
#include <csetjmp>
#include <cstdint>
#include <cstdio>

[[noreturn]] void mailMenu();  // mail-menu.cpp

namespace {
std::jmp_buf menuEnded;
}  // namespace

// mail-menu ends through this instead of exit, back into the fuzzing loop.
[[noreturn]] void mailMenuEnd(int) {
    std::longjmp(menuEnded, 1);
}

// The outside mail library's two calls; what they do is not the menu's business.
extern "C" int pop3send() {
    return 0;
}
extern "C" int pop3recv(int) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static char space[] = " ";  // fmemopen wants a buffer of at least one byte
    FILE *input =
        size > 0 ? fmemopen(const_cast<std::uint8_t *>(data), size, "r") : fmemopen(space, 1, "r");
    FILE *const realStdin = stdin;
    stdin = input;
    if (setjmp(menuEnded) == 0)
        mailMenu();
    stdin = realStdin;
    fclose(input);
    return 0;
}
