// Shared by the POSIX message queue tests: a fixture that gives each test its own IPC
// namespace with its own /dev/mqueue, and helpers that look at queues the way a user would
// (the mqueue filesystem, mq_getattr) or write them directly.
#pragma once

#include <fcntl.h>
#include <mqueue.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "check.hpp"

namespace mqtest {

using namespace std::chrono_literals;

constexpr std::string_view kNotImplemented = "mq_notify: Function not implemented";

class PosixMq : public testing::Test {
  protected:
    void SetUp() override {
        HARNESS_ISOLATE(harness::kIpc | harness::kMount);
        HARNESS_REQUIRE(harness::mountMqueue());
    }
};

// A queue's line in /dev/mqueue: bytes of the messages it holds, how a registration notifies
// (0 signal, 2 thread), the signal, and the registered process (0: none).
struct QueueState {
    bool exists = false;
    long qsize = -1;
    int notify = -1;
    int signo = -1;
    long notifyPid = -1;
};

inline std::string path(std::string_view name) {
    return "/dev/mqueue" + std::string(name);  // name has its leading slash
}

inline QueueState state(std::string_view name) {
    QueueState s;
    FILE *f = fopen(path(name).c_str(), "r");
    if (f == nullptr)
        return s;
    s.exists = fscanf(f, "QSIZE:%ld NOTIFY:%d SIGNO:%d NOTIFY_PID:%ld", &s.qsize, &s.notify,
                      &s.signo, &s.notifyPid) == 4;
    fclose(f);
    return s;
}

inline bool registeredBy(std::string_view name, pid_t pid) {
    return state(name).notifyPid == pid;
}

inline mq_attr attributes(std::string_view name) {
    mq_attr attr{};
    const mqd_t mqd = mq_open(std::string(name).c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_NE(static_cast<mqd_t>(-1), mqd) << name << ": " << strerror(errno);
    if (mqd != static_cast<mqd_t>(-1)) {
        mq_getattr(mqd, &attr);
        mq_close(mqd);
    }
    return attr;
}

constexpr uid_t kRoot = 0, kNobody = 65534;

// Create a queue; as another user (uid and gid of that number, from a child process) when
// `owner` is not root.
inline void create(std::string_view name, long maxMessages, long messageSize, mode_t mode = 0600,
                   uid_t owner = kRoot) {
    mq_attr attr{};
    attr.mq_maxmsg = maxMessages;
    attr.mq_msgsize = messageSize;
    const std::string queue(name);
    const auto make = [&] {
        const mqd_t mqd = mq_open(queue.c_str(), O_RDWR | O_CREAT | O_EXCL, mode, &attr);
        const int err = errno;
        if (mqd != static_cast<mqd_t>(-1))
            mq_close(mqd);
        return mqd == static_cast<mqd_t>(-1) ? err : 0;
    };
    int err = 0;
    if (owner == kRoot) {
        err = make();
    } else {
        const pid_t child = fork();
        if (child == 0)
            _exit(setresgid(owner, owner, owner) == 0 && setresuid(owner, owner, owner) == 0
                      ? make()
                      : errno);
        int status = 0;
        waitpid(child, &status, 0);
        err = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ASSERT_EQ(0, err) << "create " << name << ": " << strerror(err);
}

inline void send(std::string_view name, std::string_view bytes, unsigned priority) {
    const mqd_t mqd = mq_open(std::string(name).c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_NE(static_cast<mqd_t>(-1), mqd) << "open " << name << ": " << strerror(errno);
    EXPECT_EQ(0, mq_send(mqd, bytes.data(), bytes.size(), priority)) << strerror(errno);
    mq_close(mqd);
}

// Wait until a started watcher holds the registration on its queue. "" when it does; when it
// ended instead because the emulator does not carry mq_notify, a reason starting "skip:".
inline std::string awaitRegistration(harness::Process &watcher, std::string_view queue) {
    harness::waitUntil([&] { return registeredBy(queue, watcher.pid()) || watcher.ended(); },
                       harness::kTimeout);
    if (registeredBy(queue, watcher.pid()))
        return "";
    if (!watcher.ended())
        return "no registration on " + std::string(queue) + " within the timeout";
    const auto status = watcher.wait();
    // The signal watcher ends with the error number, the thread watcher with 1.
    if (harness::emulated() && status && watcher.err().find(kNotImplemented) != std::string::npos)
        return "skip: qemu-i386 does not implement mq_notify (ENOSYS), so no 32-bit watcher can "
               "register for notification under the emulator";
    return "ended before registering (" + (status ? status->describe() : "?") +
           "): " + watcher.err();
}

}  // namespace mqtest

// Start a watcher on a terminal (its lines show as they are printed) and wait for its
// registration; skips the test where the emulator lacks mq_notify.
#define START_WATCHER(var, program, queue, ...)                                                  \
    harness::Process var(harness::binPath(program), harness::Options{.pty = true, __VA_ARGS__}); \
    do {                                                                                         \
        const std::string why_ = mqtest::awaitRegistration(var, queue);                          \
        if (why_.starts_with("skip: "))                                                          \
            HARNESS_SKIP("a 32-bit kernel", why_.substr(6));                                     \
        ASSERT_EQ("", why_) << program;                                                          \
    } while (0)
