// What the kernel says about System V message queues, for the tests of the typed programs and
// the lister: the rows of /proc/sysvipc/msg, messages put on and taken off a queue by the test
// itself, and where a program sleeps in the kernel.
#pragma once

#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/types.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "harness.hpp"

namespace sysvtest {

constexpr key_t kKey = 8979;
constexpr std::size_t kText = 100;
constexpr harness::Duration kRunTimeout = std::chrono::seconds(30);  // a loaded machine, qemu

// One row of /proc/sysvipc/msg (the queues of the reader's IPC namespace).
struct ProcQueue {
    key_t key = 0;
    int msqid = 0;
    unsigned perms = 0;
    unsigned long cbytes = 0, qnum = 0;
    unsigned cuid = 0;
};

inline std::vector<ProcQueue> procQueues() {
    std::ifstream in("/proc/sysvipc/msg");
    std::string line;
    std::getline(in, line);  // header
    std::vector<ProcQueue> rows;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        ProcQueue q;
        long lspid, lrpid, uid, gid;
        fields >> q.key >> q.msqid >> std::oct >> q.perms >> std::dec >> q.cbytes >> q.qnum >>
            lspid >> lrpid >> uid >> gid >> q.cuid;
        if (fields)
            rows.push_back(q);
    }
    return rows;
}

inline std::optional<ProcQueue> procQueue(key_t key) {
    for (const auto &q : procQueues())
        if (q.key == key)
            return q;
    return std::nullopt;
}

// A message as the test sees it: its type and text.
struct Message {
    long type = 0;
    std::string text;
    bool operator==(const Message &) const = default;
};

inline void put(int msqid, long type, const std::string &text) {
    struct {
        long mtype;
        char mtext[512];
    } msg{type, {}};
    memcpy(msg.mtext, text.data(), text.size());
    if (msgsnd(msqid, &msg, text.size(), IPC_NOWAIT) != 0)
        throw std::runtime_error(std::string("msgsnd: ") + strerror(errno));
}

// Every message left on the queue, oldest first (the queue is empty afterwards).
inline std::vector<Message> drain(int msqid) {
    std::vector<Message> all;
    struct {
        long mtype;
        char mtext[512];
    } msg;
    ssize_t n;
    while ((n = msgrcv(msqid, &msg, sizeof msg.mtext, 0, IPC_NOWAIT)) >= 0)
        all.push_back({msg.mtype, std::string(msg.mtext, static_cast<std::size_t>(n))});
    return all;
}

// The kernel function a process sleeps in ("do_msgrcv", "futex_wait_queue", ...).
inline std::string wchan(pid_t pid) {
    return harness::readFile("/proc/" + std::to_string(pid) + "/wchan");
}

}  // namespace sysvtest
