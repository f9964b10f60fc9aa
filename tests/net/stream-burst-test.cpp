// The forking servers collect their children: a burst of 500 connections leaves neither
// server with a zombie child or a descriptor more than it had before.
#include "stream-servers.hpp"

namespace {

using namespace stream_servers;

constexpr std::size_t kBacklog = 5;  // connections the servers' listening sockets queue

// Every connection's child is collected as it ends: after a burst of connections the server
// has no zombie child and exactly the descriptors it had before.
class Burst : public StreamServer, public testing::WithParamInterface<const char *> {};

TEST_P(Burst, NoZombieAndNoDescriptorLeftAfter500Connections) {
    constexpr int kConnections = 500;
    const bool dump = std::string_view(GetParam()) == "stream-dump-server";
    const std::string_view servedLine = dump ? " read 10 from cli \n" : " requested handled by ";
    start(GetParam());
    std::size_t accepted = 0, seen = 0;  // connections accepted, output counted so far
    auto connectOne = [&] {
        Fd client = harness::tcpConnect(kPort);
        harness::sendAll(client, "0123456789");
    };
    // Connections the server has accepted, counted in the output that came since last time.
    auto countAccepted = [&] {
        const std::string &out = server->out();
        for (auto at = out.find(kConnected, seen); at != std::string::npos;
             at = out.find(kConnected, seen)) {
            ++accepted;
            seen = at + kConnected.size();
        }
        return accepted;
    };
    connectOne();
    ASSERT_TRUE(server->waitForOutput(servedLine));
    waitForChildren(0);
    const int fdsBefore = server->openFds();

    // As fast as the server accepts, but never more waiting than its backlog holds: a full
    // backlog drops connection requests, which are only retried a second later.
    for (int i = 1; i <= kConnections; i++) {
        ASSERT_TRUE(server->waitFor([&] {
            return countAccepted() + kBacklog > static_cast<std::size_t>(i);
        })) << countAccepted()
            << " accepted";
        connectOne();
    }
    EXPECT_TRUE(server->waitFor(
        [&] { return count(server->out(), servedLine) == kConnections + 1; }, kLong))
        << count(server->out(), servedLine) << " served";
    std::vector<pid_t> left;
    EXPECT_TRUE(server->waitForState(
        [&] {
            left = server->children();
            return left.empty();
        },
        kLong))
        << left.size() << " children left, the first in state "
        << harness::readFile("/proc/" + std::to_string(left.at(0)) + "/stat");
    EXPECT_EQ(static_cast<std::size_t>(kConnections + 1), count(server->out(), kConnected));
    EXPECT_EQ(fdsBefore, server->openFds());
    EXPECT_EQ('S', server->state());  // waiting in accept
    EXPECT_EQ("", server->err());
}

INSTANTIATE_TEST_SUITE_P(StreamServers, Burst,
                         testing::Values("stream-dump-server", "stream-reply-server"), serverName);

}  // namespace
