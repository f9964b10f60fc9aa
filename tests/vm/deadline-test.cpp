// pilefeed's delay deadline, through the header the module compiles, on the host with the
// kernel's jiffies comparisons (shim/linux/jiffies.h). The cases across the wrap of the
// counter are the ones a plain `now < deadline` gets wrong; the i686 preset runs them with a
// 32-bit counter, as on the 32-bit kernel where jiffies starts five minutes before the wrap.
#include <gtest/gtest.h>

#include <climits>

#include "deadline.h"

namespace {

// The writer's delay in jiffies.
constexpr unsigned long kDelay = 10000;
// Where the counter stands a little before it wraps.
constexpr unsigned long kNearWrap = ULONG_MAX - 100;

struct Case {
    const char *what;
    unsigned long now, deadline;
    bool pending;
};

TEST(PilefeedDeadline, PendingUntilReachedAlsoAcrossTheWrap) {
    const Case cases[] = {
        {"just started", 1000, 1000 + kDelay, true},
        {"one tick before", 999 + kDelay, 1000 + kDelay, true},
        {"reached", 1000 + kDelay, 1000 + kDelay, false},
        {"passed", 1001 + kDelay, 1000 + kDelay, false},
        {"deadline past the wrap, counter not", kNearWrap, kNearWrap + kDelay, true},
        {"counter at its largest value", ULONG_MAX, kNearWrap + kDelay, true},
        {"both past the wrap", 5, kNearWrap + kDelay, true},
        {"reached after the wrap", kNearWrap + kDelay, kNearWrap + kDelay, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.pending, deadline_pending(c.now, c.deadline))
            << c.what << ": now " << c.now << ", deadline " << c.deadline;
}

}  // namespace
