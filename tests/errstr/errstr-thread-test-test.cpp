// errstr-thread-test run as a user runs it: four lines in order, two different buffer
// addresses, the main thread's EINVAL text intact after the other thread's EPERM call.
#include <sys/resource.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "check.hpp"

namespace {

// The address printed in a line "... str (ADDRESS) = TEXT".
std::string addressIn(const std::string &line) {
    const auto open = line.find('('), close = line.find(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return "";
    return line.substr(open + 1, close - open - 1);
}

std::vector<std::string> linesOf(const std::string &text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1)
        lines.push_back(text.substr(from, end - from));
    return lines;
}

TEST(ErrstrThreadTest, FourLinesTwoBuffersMainTextIntact) {
    const auto result = harness::run(harness::binPath("errstr-thread-test"));
    const auto lines = linesOf(result.out);
    ASSERT_EQ(4u, lines.size()) << harness::visible(result.out);
    const std::string other = addressIn(lines[2]), main = addressIn(lines[3]);
    EXPECT_BYTES(
        "Main thread has called strerror()\n"
        "Other thread about to call strerror()\n"
        "Other thread: str (" +
            other +
            ") = Operation not permitted\n"
            "Main thread:  str (" +
            main + ") = Invalid argument\n",
        result.out);
    EXPECT_NE(other, main);
    EXPECT_TRUE(other.starts_with("0x") && main.starts_with("0x")) << other << " " << main;
    EXPECT_BYTES("", result.err);
    EXPECT_EQ("exit status 0", result.status.describe());
}

// The C library sizes a new thread's stack by the stack limit: with a limit no address space
// can hold, pthread_create fails; the program says so as perror would and exits with the number.
TEST(ErrstrThreadTest, FailedThreadCreationIsReportedWithItsNumber) {
#if defined(__x86_64__)
    constexpr rlim_t kUnmappableStack = rlim_t{1} << 47;  // the whole user address space
#else
    // 3.5 GiB: more than any 32-bit address space has free, even the 4 GiB that a
    // 64-bit kernel gives a 32-bit program (2 GiB would fit there; with the guard page, a size
    // near 4 GiB would overflow and give EINVAL instead).
    constexpr rlim_t kUnmappableStack = 0xe000'0000;
#endif
    // qemu-user hands its guest only limits that fit a signed 32-bit number (a larger one
    // reads as unlimited), and under it 2 GiB beside the emulator's own mappings cannot fit.
    constexpr rlim_t kUnmappableStackEmulated = 0x7fff'fc00;
    const std::string program = harness::binPath("errstr-thread-test");
    // qemu-user ignores an emulated process's setrlimit of the stack (it would bind the
    // emulator itself), so there the limit is set from outside, by the host's prlimit.
    const auto result =
        harness::emulated()
            ? harness::run("/usr/bin/prlimit", {},
                           {.args = {"--stack=" + std::to_string(kUnmappableStackEmulated), "--",
                                     ERRSTR_EMULATOR, program}})
            : harness::run(program, {}, {.limits = {{RLIMIT_STACK, kUnmappableStack}}});
    EXPECT_BYTES("Main thread has called strerror()\n", result.out);
    EXPECT_BYTES("pthread_create: Resource temporarily unavailable\n", result.err);
    EXPECT_EQ("exit status " + std::to_string(EAGAIN), result.status.describe());
}

// The program is position-dependent, as the local-exec buffer it compiles in requires.
TEST(ErrstrThreadTest, ProgramIsPositionDependent) {
    const auto result = harness::run("/usr/bin/readelf", {},
                                     {.args = {"-hW", harness::binPath("errstr-thread-test")}});
    EXPECT_NE(std::string::npos, result.out.find("EXEC (Executable file)")) << result.out;
}

}  // namespace
