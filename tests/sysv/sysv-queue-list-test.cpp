// sysv-queue-list over queues the test makes in its own IPC namespace: the header alone, the
// typed sender's queue, removed queues leaving gaps, a key with its top bit set, queues an
// ordinary user may not read; its rows checked against /proc/sysvipc/msg and `ipcs -q`.
#include <cinttypes>
#include <map>
#include <regex>
#include <set>
#include <tuple>

#include "check.hpp"
#include "sysv-queues.hpp"

namespace {

using namespace sysvtest;

constexpr const char *kHeader = "index     id       key      messages\n";
constexpr key_t kTopBitKey = static_cast<key_t>(0x80000001u);

harness::Result list(harness::Options options = {}) {
    return harness::run(harness::binPath("sysv-queue-list"), {}, std::move(options), kRunTimeout);
}

// One row of the lister, as printed.
struct Row {
    int position = 0, msqid = 0;
    std::string key;  // the hexadecimal digits after "0x"
    unsigned long qnum = 0;
};

// The maxind and the rows of the lister's output; fails the test when a line is malformed.
std::pair<int, std::vector<Row>> parse(const std::string &out) {
    // Position in 4 columns, identifier in 8, key in 8 digits (16 when negative), count in 7.
    static const std::regex rowPattern(
        R"(([ \d]{3}\d) ([ \d]{7}\d)  0x([0-9a-f]{8}|f{8}[0-9a-f]{8}) ([ \d]{6}\d))");
    std::istringstream lines(out);
    std::string line;
    std::getline(lines, line);
    const int maxind = std::stoi(line.substr(line.find(' ') + 1));
    std::getline(lines, line);  // the empty line
    std::getline(lines, line);  // the header
    std::vector<Row> rows;
    while (std::getline(lines, line)) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(line, m, rowPattern)) << harness::visible(line);
        if (!m.empty())
            rows.push_back({std::stoi(m[1]), std::stoi(m[2]), m[3], std::stoul(m[4])});
    }
    return {maxind, rows};
}

// (key as 32 bits, identifier, messages) of every queue, as a set for comparison.
using Queue = std::tuple<std::uint32_t, int, unsigned long>;

std::set<Queue> fromRows(const std::vector<Row> &rows) {
    std::set<Queue> all;
    for (const auto &r : rows)
        all.insert({static_cast<std::uint32_t>(std::stoull(r.key, nullptr, 16)), r.msqid, r.qnum});
    return all;
}

std::set<Queue> fromProc() {
    std::set<Queue> all;
    for (const auto &q : procQueues())
        all.insert({static_cast<std::uint32_t>(q.key), q.msqid, q.qnum});
    return all;
}

// ipcs -q: "key msqid owner perms used-bytes messages" under a title and a header.
std::set<Queue> fromIpcs() {
    const auto r = harness::run("/usr/bin/ipcs", {}, {.args = {"-q"}}, kRunTimeout);
    EXPECT_EQ("exit status 0", r.status.describe()) << r.err;
    std::set<Queue> all;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("0x", 0) != 0)
            continue;
        std::istringstream f(line);
        std::string key, owner, perms;
        int msqid;
        unsigned long bytes, qnum;
        f >> key >> msqid >> owner >> perms >> bytes >> qnum;
        all.insert({static_cast<std::uint32_t>(std::stoul(key, nullptr, 16)), msqid, qnum});
    }
    return all;
}

int makeQueue(key_t key, int mode, int messages = 0) {
    const int msqid = msgget(key, IPC_CREAT | IPC_EXCL | mode);
    if (msqid < 0)
        throw std::runtime_error(std::string("msgget: ") + strerror(errno));
    for (int i = 0; i < messages; i++)
        put(msqid, 1, "m");
    return msqid;
}

class QueueList : public testing::Test {
  protected:
    void SetUp() override { HARNESS_ISOLATE(harness::kIpc | harness::kMount); }
};

TEST_F(QueueList, NoQueuesGivesTheHeaderAlone) {
    HARNESS_NEEDS_OTHER_USERS();
    EXPECT_GOLDEN(list(), "sysv/golden/list-empty");
    EXPECT_GOLDEN(list({.asNobody = true}), "sysv/golden/list-empty");
}

TEST_F(QueueList, TypedSendersQueueShowsKey2313WithTwoMessages) {
    EXPECT_GOLDEN(harness::run(harness::binPath("sysv-typed-sender"), {}, {}, kRunTimeout),
                  "sysv/golden/sender-sent");
    const auto q = procQueue(kKey);
    ASSERT_TRUE(q);
    char row[64];
    snprintf(row, sizeof row, "   0 %8d  0x00002313       2\n", q->msqid);
    EXPECT_BYTES(std::string("maxind: 0\n\n") + kHeader + row, list().out);
}

TEST_F(QueueList, GapsTopBitKeyAndPrivateQueueAgreeWithProcAndIpcs) {
    // Positions 0 to 6 in a fresh namespace, in order of making.
    EXPECT_EQ(
        0, harness::run(harness::binPath("sysv-typed-sender"), {}, {}, kRunTimeout).status.code());
    makeQueue(0x1111, 0600, 3);
    const int gone1 = makeQueue(0x2222, 0600);
    makeQueue(IPC_PRIVATE, 0600, 1);
    const int gone2 = makeQueue(0x3333, 0644);
    makeQueue(kTopBitKey, 0644, 5);
    const int gone3 = makeQueue(0x4444, 0600);  // the highest: maxind comes down to 5
    for (const int id : {gone1, gone2, gone3})
        ASSERT_EQ(0, msgctl(id, IPC_RMID, nullptr));

    const auto r = list();
    EXPECT_EQ("exit status 0", r.status.describe());
    EXPECT_BYTES("", r.err);
    const auto [maxind, rows] = parse(r.out);
    EXPECT_EQ(5, maxind);
    std::vector<int> positions;
    std::map<std::string, unsigned long> counts;
    for (const auto &row : rows) {
        positions.push_back(row.position);
        counts[row.key] = row.qnum;
    }
    EXPECT_EQ((std::vector<int>{0, 1, 3, 5}), positions);
    const std::map<std::string, unsigned long> expected{
        {"00002313", 2}, {"00001111", 3}, {"00000000", 1}, {"ffffffff80000001", 5}};
    EXPECT_EQ(expected, counts);
    EXPECT_EQ(fromProc(), fromRows(rows));
    EXPECT_EQ(fromIpcs(), fromRows(rows));
}

TEST_F(QueueList, OrdinaryUserSeesOnlyQueuesItMayRead) {
    HARNESS_NEEDS_OTHER_USERS();
    EXPECT_EQ(0, harness::run(harness::binPath("sysv-typed-sender"), {}, {}, kRunTimeout)
                     .status.code());  // mode 000
    makeQueue(0x1111, 0600, 1);
    const int readable = makeQueue(0x2222, 0604, 2);
    makeQueue(0x3333, 0660);
    const int readable2 = makeQueue(0x4444, 0444);

    const auto root = parse(list().out);
    EXPECT_EQ(5u, root.second.size());
    const auto nobody = list({.asNobody = true});
    EXPECT_EQ("exit status 0", nobody.status.describe());
    EXPECT_BYTES("", nobody.err);  // EACCES is skipped without a word
    const auto [maxind, rows] = parse(nobody.out);
    EXPECT_EQ(root.first, maxind);
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ(readable, rows[0].msqid);
    EXPECT_EQ("00002222", rows[0].key);
    EXPECT_EQ(2u, rows[0].qnum);
    EXPECT_EQ(readable2, rows[1].msqid);
}

}  // namespace
