// altstack-demo: the recursion walks down the ordinary stack a fresh frame per call until the
// stack limit is reached, and the SIGSEGV handler's frame lies in the alternate stack, which
// lies in the heap range the program prints. Each run is given its stack limit, so the number
// of calls does not depend on the limit the tests happen to inherit.
#include <sys/resource.h>

#include <regex>

#include "check.hpp"

namespace {

constexpr rlim_t kMiB = 1024 * 1024;
constexpr std::uintptr_t kFrameBytes = 100000;  // the array in each frame
constexpr std::uintptr_t kFrameExtra = 256;     // what else a frame may hold
constexpr std::uintptr_t kAltStackBytes = 8192;
// The stack holds more than the frames: arguments, environment, the loader's data, main's
// frame and the headroom the program probes before printing.
constexpr std::uintptr_t kStackSlack = 256 * 1024;

std::uintptr_t address(const std::string &hex) {
    return static_cast<std::uintptr_t>(std::stoull(hex, nullptr, 16));
}

struct Transcript {
    std::uintptr_t top = 0, altStart = 0, altEnd = 0, handler = 0;
    std::vector<std::uintptr_t> calls;  // the array of call 1, 2, ...
};

// Parse the whole output, line by line; any line out of place fails the test.
Transcript parse(const std::string &out) {
    static const std::regex top("Top of standard stack is near +(0x[0-9a-f]+)");
    static const std::regex alt("Alternate stack is at +(0x[0-9a-f]+)-(0x[0-9a-f]+)");
    static const std::regex call("Call +([0-9]+) - top of stack near +(0x[0-9a-f]+)");
    static const std::regex handler("Top of handler stack near     +(0x[0-9a-f]+)");
    Transcript run;
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t nl; (nl = out.find('\n', from)) != std::string::npos; from = nl + 1)
        lines.push_back(out.substr(from, nl - from));
    EXPECT_EQ(from, out.size()) << "unterminated last line";
    if (lines.size() < 5) {
        ADD_FAILURE() << "too few lines:\n" << out;
        return run;
    }
    std::smatch m;
    EXPECT_TRUE(std::regex_match(lines[0], m, top)) << lines[0];
    // "%10p": at least ten columns, right-aligned.
    EXPECT_GE(lines[0].size() - std::string("Top of standard stack is near ").size(), 10u);
    if (!m.empty())
        run.top = address(m[1]);
    EXPECT_TRUE(std::regex_match(lines[1], m, alt)) << lines[1];
    if (!m.empty()) {
        run.altStart = address(m[1]);
        run.altEnd = address(m[2]);
    }
    for (std::size_t i = 2; i + 2 < lines.size(); ++i) {
        const bool ok = std::regex_match(lines[i], m, call);
        EXPECT_TRUE(ok) << "line " << i + 1 << ": " << lines[i];
        if (!ok)
            continue;
        EXPECT_EQ(std::stoul(m[1]), i - 1) << "call lines count up from 1: " << lines[i];
        char expected[64];
        std::snprintf(expected, sizeof expected, "Call %4zu - ", i - 1);
        EXPECT_TRUE(lines[i].starts_with(expected)) << lines[i];
        run.calls.push_back(address(m[2]));
    }
    EXPECT_EQ("Caught signal 11 (Segmentation fault)", lines[lines.size() - 2]);
    EXPECT_TRUE(std::regex_match(lines.back(), m, handler)) << lines.back();
    if (!m.empty())
        run.handler = address(m[1]);
    return run;
}

// Everything the run shows about the stacks, for a stack limit of `limit` bytes.
void checkStacks(const Transcript &run, rlim_t limit) {
    ASSERT_FALSE(run.calls.empty());
    // A fresh frame per call, each holding its whole array, walking down the stack.
    EXPECT_LT(run.calls[0], run.top);
    EXPECT_LT(run.top - run.calls[0], kFrameBytes + kStackSlack);
    const std::uintptr_t step = run.calls.size() > 1 ? run.calls[0] - run.calls[1] : kFrameBytes;
    for (std::size_t i = 1; i < run.calls.size(); ++i) {
        EXPECT_LT(run.calls[i], run.calls[i - 1]) << "call " << i + 1;
        EXPECT_EQ(step, run.calls[i - 1] - run.calls[i]) << "call " << i + 1;
    }
    EXPECT_GE(step, kFrameBytes);
    EXPECT_LT(step, kFrameBytes + kFrameExtra);
    // The recursion ended because the stack reached its limit, not before or after.
    const std::uintptr_t depth = run.top - run.calls.back();
    EXPECT_LT(depth, limit) << run.calls.size() << " calls";
    EXPECT_GT(depth + 2 * step + kStackSlack, limit) << run.calls.size() << " calls";
    // The handler ran on the alternate stack, inside the printed heap range.
    EXPECT_LE(run.altStart, run.handler);
    EXPECT_LE(run.handler, run.altEnd);
    EXPECT_LT(run.handler, run.altStart + kAltStackBytes);
}

struct Case {
    const char *name;
    bool pty;
    rlim_t stackLimit;
};

TEST(AltstackDemo, RecursesToTheStackLimitAndHandlesOnTheAlternateStack) {
    const Case cases[] = {
        {"terminal, 8 MiB stack", true, 8 * kMiB},
        {"pipe, 8 MiB stack", false, 8 * kMiB},  // the handler's fflush writes every line
        {"pipe, 2 MiB stack", false, 2 * kMiB},
    };
    std::vector<std::size_t> calls;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        harness::Options options{.pty = c.pty, .limits = {{RLIMIT_STACK, c.stackLimit}}};
        // qemu-i386 (7.2) gives its guest a stack of at least 8 MiB whatever the limit says;
        // it takes a smaller size from QEMU_STACK_SIZE.
        if (harness::emulated())
            options.env.push_back("QEMU_STACK_SIZE=" + std::to_string(c.stackLimit));
        harness::Process p(harness::binPath("altstack-demo"), options);
        const auto status = p.wait(harness::kTimeout * 3);
        ASSERT_TRUE(status) << "still running";
        EXPECT_EQ("exit status 1", status->describe());
        EXPECT_BYTES("", p.err());
        const Transcript run = parse(p.out());
        checkStacks(run, c.stackLimit);
        calls.push_back(run.calls.size());
    }
    // The same limit gives the same number of calls, give or take the one that the random
    // placement of the stack's top may add or take away.
    EXPECT_LE(std::max(calls[0], calls[1]) - std::min(calls[0], calls[1]), 1u);
    EXPECT_LT(calls[2], calls[1]) << "a smaller stack gives fewer calls";
}

}  // namespace
