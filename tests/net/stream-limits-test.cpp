// The stream servers' time limits, waited out in real time by the real programs: a client that
// sends nothing loses its child after the idle limit (two minutes). They take minutes and prove
// the same in every build, so the test command runs them once (label limits, see
// scripts/test-all.sh).
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

}  // namespace
