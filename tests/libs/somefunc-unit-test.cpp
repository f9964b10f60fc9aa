// somefunc's sum, compiled in: two's complement wrap-around at both ends, without signed
// overflow (the sanitize preset's UndefinedBehaviorSanitizer would stop on one).
#include <cstdint>

#include <gtest/gtest.h>

extern "C" std::int32_t somefunc(std::int32_t a, std::int32_t b);

namespace {

TEST(Somefunc, AddsAndWraps) {
    struct {
        std::int32_t a, b, sum;
    } const cases[] = {
        {2, 3, 5},
        {-2, -3, -5},
        {INT32_MAX, 1, INT32_MIN},
        {INT32_MIN, -1, INT32_MAX},
        {INT32_MAX, INT32_MAX, -2},
        {INT32_MIN, INT32_MIN, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.sum, somefunc(c.a, c.b)) << c.a << " + " << c.b;
}

}  // namespace
