// GoogleTest glue for the harness: skipping when namespaces cannot be had, byte-exact
// comparison shown side by side, and golden files (expected stdout, stderr and status).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "harness.hpp"

// A case that cannot run here because a prerequisite is missing: PREREQUISITE is one of
// "root", "namespaces", "nobody", "kernel files", "qemu", "a 32-bit kernel", "the VM", and
// the text after it says what exactly. It skips, with "missing PREREQUISITE: ..." for
// scripts/skips.sh to count; in strict mode (MECH_STRICT=1) it fails instead.
#define HARNESS_SKIP(prerequisite, why)                                                 \
    do {                                                                                \
        if (::harness::strict())                                                        \
            GTEST_FAIL() << "strict mode: missing " << (prerequisite) << ": " << (why); \
        GTEST_SKIP() << "missing " << (prerequisite) << ": " << (why);                  \
    } while (0)

// Move the test into fresh namespaces, or skip it with the reason.
#define HARNESS_ISOLATE(which)                              \
    do {                                                    \
        const std::string why_ = ::harness::isolate(which); \
        if (!why_.empty())                                  \
            HARNESS_SKIP("namespaces", why_);               \
    } while (0)

// Skip a case that runs a program as another user (nobody, an unused uid) where this user
// namespace maps one user alone.
#define HARNESS_NEEDS_OTHER_USERS()                                                 \
    do {                                                                            \
        if (!::harness::otherUsersMapped())                                         \
            HARNESS_SKIP("nobody",                                                  \
                         "this user namespace maps one user alone (an ordinary "    \
                         "user's sandbox), so no program can run as another here"); \
    } while (0)

// Run a setup step that returns "" or the reason it failed; fail the test on a reason.
#define HARNESS_REQUIRE(step)                               \
    do {                                                    \
        const std::string why_ = (step);                    \
        ASSERT_TRUE(why_.empty()) << #step << ": " << why_; \
    } while (0)

namespace harness {

testing::AssertionResult sameBytes(const char *expectedExpr, const char *actualExpr,
                                   std::string_view expected, std::string_view actual);

// Golden files beside the tests: <tests>/<name>.out, <name>.err (empty when missing) and
// <name>.status (a Status::describe() text such as "exit status 0"; "exit status 0" when missing).
struct Golden {
    std::string out, err, status;
};
Golden golden(std::string_view name);
testing::AssertionResult matchesGolden(const char *resultExpr, const char *nameExpr,
                                       const Result &result, std::string_view name);

}  // namespace harness

#define EXPECT_BYTES(expected, actual) EXPECT_PRED_FORMAT2(::harness::sameBytes, expected, actual)
#define ASSERT_BYTES(expected, actual) ASSERT_PRED_FORMAT2(::harness::sameBytes, expected, actual)
#define EXPECT_GOLDEN(result, name) EXPECT_PRED_FORMAT2(::harness::matchesGolden, result, name)
