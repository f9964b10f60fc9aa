// named-sem-wait on "/mysem", created and posted by the mysem-poster peer in a private
// /dev/shm: no semaphore, enough units at once, units that come one post at a time, and a
// semaphore the user may not open. The test reads the value itself with sem_getvalue.
#include <fcntl.h>
#include <semaphore.h>

#include <filesystem>

#include "check.hpp"
#include "sysv-queues.hpp"

namespace {

using namespace std::chrono_literals;
using sysvtest::kRunTimeout;
using sysvtest::wchan;

void poster(std::vector<std::string> args) {
    const auto r =
        harness::run(harness::binPath("mysem-poster"), {}, {.args = std::move(args)}, kRunTimeout);
    ASSERT_EQ("exit status 0", r.status.describe()) << r.err;
}

// The semaphore's value as this process sees it, or -1 when it cannot be opened.
int semValue() {
    sem_t *sem = sem_open("/mysem", 0);
    if (sem == SEM_FAILED)
        return -1;
    int value = -1;
    sem_getvalue(sem, &value);
    sem_close(sem);
    return value;
}

std::string succeeded(const harness::Process &p) {
    return std::to_string(p.pid()) + " sem_wait() succeeded\n";
}

class NamedSemWait : public testing::Test {
  protected:
    void SetUp() override {
        HARNESS_ISOLATE(harness::kIpc | harness::kMount);
        HARNESS_REQUIRE(harness::mountTmpfs("/dev/shm"));
    }

    // Wait until the waiter sleeps on the semaphore (a futex wait) with its value at 0.
    static bool blockedAtZero(harness::Process &waiter) {
        return harness::waitUntil(
                   [&] {
                       return waiter.ended() ||
                              (semValue() == 0 && wchan(waiter.pid()).starts_with("futex"));
                   },
                   kRunTimeout) &&
               !waiter.ended();
    }
};

TEST_F(NamedSemWait, MissingSemaphoreEndsWithENOENT) {
    EXPECT_GOLDEN(harness::run(harness::binPath("named-sem-wait"), {}, {}, kRunTimeout),
                  "sysv/golden/sem-missing");
    EXPECT_FALSE(std::filesystem::exists("/dev/shm/sem.mysem"));  // opened, never created
}

TEST_F(NamedSemWait, EnoughUnitsPassAtOnce) {
    struct Case {
        int initial, left;
    };
    const Case cases[] = {{2, 0}, {3, 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.initial);
        sem_unlink("/mysem");
        poster({std::to_string(c.initial), "0"});
        harness::Process waiter(harness::binPath("named-sem-wait"));
        const auto status = waiter.wait(kRunTimeout);
        ASSERT_TRUE(status);
        EXPECT_EQ("exit status 0", status->describe());
        EXPECT_BYTES(succeeded(waiter), waiter.out());
        EXPECT_BYTES("", waiter.err());
        EXPECT_EQ(c.left, semValue());
    }
}

TEST_F(NamedSemWait, WaitsUntilPostedForEachMissingUnit) {
    struct Case {
        int initial, posts;
    };
    const Case cases[] = {{1, 1}, {0, 2}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.initial);
        sem_unlink("/mysem");
        poster({std::to_string(c.initial), "0"});
        harness::Process waiter(harness::binPath("named-sem-wait"));
        for (int i = 0; i < c.posts; i++) {
            ASSERT_TRUE(blockedAtZero(waiter)) << wchan(waiter.pid()) << " " << semValue();
            EXPECT_FALSE(waiter.ended());
            EXPECT_BYTES("", waiter.out());
            poster({"0", "1"});  // the semaphore exists: one post, nothing else
        }
        const auto status = waiter.wait(kRunTimeout);
        ASSERT_TRUE(status);
        EXPECT_EQ("exit status 0", status->describe());
        EXPECT_BYTES(succeeded(waiter), waiter.out());
        EXPECT_EQ(0, semValue());
    }
}

TEST_F(NamedSemWait, SemaphoreTheUserMayNotOpenEndsWithEACCES) {
    HARNESS_NEEDS_OTHER_USERS();
    poster({"2", "0", "0", "600"});  // root's, mode 0600
    EXPECT_GOLDEN(
        harness::run(harness::binPath("named-sem-wait"), {}, {.asNobody = true}, kRunTimeout),
        "sysv/golden/sem-denied");
    EXPECT_EQ(2, semValue());
}

}  // namespace
