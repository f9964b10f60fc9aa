// The stream servers' time limits, waited out in real time by the real programs: a client that
// sends nothing loses its child after the idle limit (two minutes), and one that trickles its
// bytes loses stream-dump-server's child at the connection's deadline (five minutes). They
// take minutes and prove the same in every build, so the test command runs them once (label
// limits, see scripts/test-all.sh).
#include <chrono>

#include "stream-servers.hpp"

namespace {

using namespace stream_servers;
using Clock = std::chrono::steady_clock;

const std::string kTimedOut = "sockread:: Resource temporarily unavailable\n";

// A client that connects and sends nothing: after the idle limit its child's read fails, and
// the child ends the way it does for any failed read.
class Idle : public StreamServer, public testing::WithParamInterface<const char *> {};

TEST_P(Idle, SilentClientsChildEndsAfterTheLimit) {
    constexpr auto kIdleLimit = 120s;
    const bool dump = std::string_view(GetParam()) == "stream-dump-server";
    start(GetParam());
    const auto connected = Clock::now();
    Fd client = connect();
    const pid_t kid = waitForChildren(1).at(0);
    EXPECT_TRUE(
        server->waitForState([&] { return server->children().empty(); }, kIdleLimit + 30s, 100ms));
    EXPECT_GE(Clock::now() - connected, kIdleLimit);
    const std::string lines = dump ? progress(-1) : replyLines("", kid);
    EXPECT_BYTES(std::string(kConnected) + lines, outputUntil(0, lines));
    const std::string report = dump ? kTimedOut : "read: Resource temporarily unavailable\n";
    EXPECT_TRUE(server->waitForError(report));
    EXPECT_BYTES(report, server->err());
    if (!dump) {
        EXPECT_BYTES(kGoodBye, harness::recvAll(client));
    }
}

INSTANTIATE_TEST_SUITE_P(StreamServers, Idle,
                         testing::Values("stream-dump-server", "stream-reply-server"), serverName);

// A client that sends one byte at a time, each well within the idle limit, for longer than
// the deadline: stream-dump-server's child has its read fail at the deadline, counted from
// the connection, and ends the way it does for any failed read. (stream-reply-server's child
// reads once, so the idle limit already bounds its whole connection.)
TEST_F(StreamServer, TricklingClientsDumpChildEndsAtTheDeadline) {
    constexpr auto kDeadline = 300s;
    constexpr auto kPause = 70s;  // between the client's bytes
    start("stream-dump-server");
    const auto connected = Clock::now();
    Fd client = connect();
    waitForChildren(1);
    auto served = [&] { return !server->children().empty(); };
    int sent = 0;
    while (served() && Clock::now() - connected < kDeadline + 30s) {
        harness::sendAll(client, "x");
        ++sent;
        const auto nextByte = Clock::now() + kPause;
        server->waitForState([&] { return !served() || Clock::now() >= nextByte; }, kPause + 10s,
                             100ms);
    }
    const auto held = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - connected);
    ASSERT_FALSE(served()) << "still served after " << held.count() << " s and " << sent
                           << " bytes";
    EXPECT_GE(held, kDeadline);
    std::string lines(kConnected);
    for (int i = 0; i < sent; i++)
        lines += progress(1);
    lines += progress(-1);
    EXPECT_BYTES(lines, outputUntil(0, progress(-1)));
    EXPECT_TRUE(server->waitForError(kTimedOut));
    EXPECT_BYTES(kTimedOut, server->err());
}

}  // namespace
