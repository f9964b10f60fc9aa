// clock-reader against a /dev/clock that the test provides: in a private mount namespace /dev
// is replaced by a small tmpfs holding the usual null, zero, random and tty devices (bound from
// the real /dev) and, per case, a file, a FIFO or a character device at /dev/clock.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "check.hpp"

namespace {

using namespace std::chrono_literals;
constexpr harness::Duration kRun = 30s;  // generous: the machine may be loaded
constexpr const char *kClock = "/dev/clock";
constexpr const char *kKeptDevices[] = {"null", "zero", "full", "random", "urandom", "tty"};

std::string sixLines(std::initializer_list<const char *> hex) {
    std::string lines;
    for (const char *h : hex)
        lines += std::string(" .... ") + h + "....\n";
    return lines;
}

class ClockReader : public testing::Test {
  protected:
    void SetUp() override {
        HARNESS_ISOLATE(harness::kMount);
        HARNESS_REQUIRE(harness::mountTmpfs(stage.path()));
        for (const char *name : kKeptDevices)
            HARNESS_REQUIRE(bindOnto("/dev/" + std::string(name), stage / name));
        HARNESS_REQUIRE(
            check(::mount(stage.path().c_str(), "/dev", nullptr, MS_BIND | MS_REC, nullptr),
                  "bind the stage on /dev"));
        // The staged copy is no longer needed where it was made; /dev keeps its contents.
        HARNESS_REQUIRE(check(umount2(stage.path().c_str(), MNT_DETACH), "detach the stage"));
    }

    static std::string check(int rc, const std::string &what) {
        return rc == 0 ? "" : what + ": " + strerror(errno);
    }

    // Bind an existing file or device onto a new empty file at `target`.
    static std::string bindOnto(const std::string &source, const std::string &target) {
        harness::writeFile(target, "");
        return check(::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr),
                     "bind " + source);
    }

    harness::Result run(harness::Options options = {}) {
        return harness::run(harness::binPath("clock-reader"), {}, std::move(options), kRun);
    }

    harness::TempDir stage;
};

TEST_F(ClockReader, PrintsEachByteInHex) {
    harness::writeFile(kClock, std::string("\x2a\x07\x00\xff\x10\x01", 6), 0444);
    const auto r = run();
    EXPECT_BYTES(sixLines({"2a", "7", "0", "ff", "10", "1"}), r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("exit status 0", r.status.describe());
}

// A FIFO shows the reads are single bytes: of eight bytes written, two are left over.
TEST_F(ClockReader, ReadsSixSingleBytesFromAStream) {
    ASSERT_EQ(0, mkfifo(kClock, 0644));
    const harness::Fd fifo(open(kClock, O_RDWR | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(fifo);
    ASSERT_EQ(8, write(fifo.get(), "\x2a\x07\x33\x44\x55\x66\x77\x88", 8));
    const auto r = run();
    EXPECT_BYTES(sixLines({"2a", "7", "33", "44", "55", "66"}), r.out);
    EXPECT_EQ("exit status 0", r.status.describe());
    char rest[16];
    ASSERT_EQ(2, read(fifo.get(), rest, sizeof rest));
    EXPECT_EQ("\x77\x88", std::string(rest, 2));
}

// Reads that deliver nothing keep the last byte: the stream ends after two bytes.
TEST_F(ClockReader, ReadsThatDeliverNothingRepeatTheLastByte) {
    ASSERT_EQ(0, mkfifo(kClock, 0644));
    harness::Fd fifo(open(kClock, O_RDWR | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(fifo);
    ASSERT_EQ(2, write(fifo.get(), "\x2a\x07", 2));
    harness::Process p(harness::binPath("clock-reader"));
    p.closeInput();
    // Once it holds the FIFO open, our end can go: its later reads then find the end.
    const std::string fds = "/proc/" + std::to_string(p.pid()) + "/fd";
    ASSERT_TRUE(harness::waitUntil(
        [&] {
            std::error_code ec;
            for (const auto &e : std::filesystem::directory_iterator(fds, ec))
                if (std::filesystem::read_symlink(e.path(), ec) == kClock)
                    return true;
            return false;
        },
        kRun));
    fifo.reset();
    const auto status = p.wait(kRun);
    ASSERT_TRUE(status);
    EXPECT_BYTES(sixLines({"2a", "7", "7", "7", "7", "7"}), p.out());
    EXPECT_EQ("exit status 0", status->describe());
}

TEST_F(ClockReader, ADeviceThatDeliversNothingGivesSixFours) {
    HARNESS_REQUIRE(bindOnto("/dev/null", kClock));
    const auto r = run();
    EXPECT_BYTES(sixLines({"4", "4", "4", "4", "4", "4"}), r.out);
    EXPECT_EQ("exit status 0", r.status.describe());
}

TEST_F(ClockReader, NoDeviceReportsAndEndsWithOne) {
    const auto r = run();
    EXPECT_BYTES("", r.out);
    EXPECT_BYTES("clock:: " + std::string(strerror(ENOENT)) + "\n", r.err);
    EXPECT_EQ("exit status 1", r.status.describe());
}

TEST_F(ClockReader, UnreadableDeviceReportsAndEndsWithOne) {
    HARNESS_NEEDS_OTHER_USERS();
    harness::writeFile(kClock, "\x2a", 0600);
    const auto r = run({.asNobody = true});
    EXPECT_BYTES("", r.out);
    EXPECT_BYTES("clock:: " + std::string(strerror(EACCES)) + "\n", r.err);
    EXPECT_EQ("exit status 1", r.status.describe());
}

}  // namespace
