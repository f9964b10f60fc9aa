// stream-dump-server and stream-reply-server served by clients the test plays. Each case runs
// in its own network namespace, so TCP port 8000 is its own. The servers run on a terminal
// (their children share it), so every line shows up as it is printed.
#include <sys/resource.h>

#include <csignal>
#include <sstream>

#include "stream-servers.hpp"

namespace {

using namespace stream_servers;

// Connections waiting in the listen queue of port 8000 (complete, not yet accepted): the
// listening socket's receive queue in /proc/net/tcp.
std::size_t waitingToBeAccepted() {
    std::istringstream lines(harness::readFile("/proc/net/tcp"));
    std::string line, slot, local, remote, state, queues;
    while (std::getline(lines, line)) {
        std::istringstream(line) >> slot >> local >> remote >> state >> queues;
        if (local.ends_with(":1F40") && state == "0A")  // TCP_LISTEN
            return std::stoul(queues.substr(queues.find(':') + 1), nullptr, 16);
    }
    return 0;
}

using DumpServer = StreamServer;
using ReplyServer = StreamServer;

TEST_F(DumpServer, EachClientsTenBytesOnePerLine) {
    struct Case {
        const char *what;
        std::vector<std::string> pieces;  // each sent after the previous one has been read
        std::string printed;              // after " client connected "
    };
    const Case cases[] = {
        {"one piece", {"0123456789"}, progress(10) + byteLines("0123456789")},
        {"4 then 6", {"0123", "456789"}, progress(4) + progress(6) + byteLines("0123456789")},
        {"13 bytes", {"abcdefghijklm"}, progress(10) + byteLines("abcdefghij")},
        {"a newline", {"ab\ncdefghi"}, progress(10) + "a \nb \n\n \nc \nd \ne \nf \ng \nh \ni \n"},
    };
    start("stream-dump-server");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t from = server->out().size();
        Fd client = connect();
        for (const auto &piece : c.pieces) {
            if (&piece != &c.pieces.front()) {  // the previous piece has been read
                const std::string read = progress(static_cast<int>((&piece)[-1].size()));
                EXPECT_TRUE(server->waitFor(
                    [&] { return server->out().find(read, from) != std::string::npos; }));
            }
            harness::sendAll(client, piece);
        }
        EXPECT_BYTES(std::string(kConnected) + c.printed, outputUntil(from, c.printed));
        EXPECT_TRUE(closedByServer(client));  // nothing is sent back; the child's end closes it
        waitForChildren(0);
    }
    EXPECT_EQ("", server->err());
}

TEST_F(DumpServer, ClientClosingEarlyGetsNoByteLines) {
    start("stream-dump-server");
    Fd client = connect();
    harness::sendAll(client, "abc");
    client.reset();
    waitForChildren(0);
    server->drainFor(100ms);
    EXPECT_BYTES(std::string(kConnected) + progress(3) + progress(0), server->out());
    EXPECT_EQ(0u, server->err().rfind("sockread:: ", 0)) << server->err();
}

TEST_F(DumpServer, TwoClientsAtOnceHaveTwoChildren) {
    start("stream-dump-server");
    Fd first = connect();
    Fd second = connect();
    const auto kids = waitForChildren(2);
    ASSERT_EQ(2u, kids.size());
    EXPECT_NE(kids[0], kids[1]);
    // The second client is served first: neither child waits for the other.
    harness::sendAll(second, "BBBBBBBBBB");
    const std::string secondLines = progress(10) + byteLines("BBBBBBBBBB");
    EXPECT_TRUE(server->waitForOutput(secondLines));
    EXPECT_EQ(1u, waitForChildren(1).size());
    harness::sendAll(first, "aaaaaaaaaa");
    const std::string all = std::string(kConnected) + std::string(kConnected) + secondLines +
                            progress(10) + byteLines("aaaaaaaaaa");
    EXPECT_BYTES(all, outputUntil(0, byteLines("aaaaaaaaaa")));
}

TEST_F(ReplyServer, HelloGetsGoodByeFromItsOwnChild) {
    start("stream-reply-server");
    Fd client = connect();
    const auto kids = waitForChildren(1);
    ASSERT_EQ(1u, kids.size());
    harness::sendAll(client, "hello");
    EXPECT_BYTES(kGoodBye, harness::recvAll(client));  // exactly 8 bytes, then the end
    const std::string lines = replyLines("hello", kids[0]);
    EXPECT_BYTES(std::string(kConnected) + lines, outputUntil(0, lines));
    EXPECT_EQ("", server->err());
}

TEST_F(ReplyServer, OneReadOfAtMost199Bytes) {
    struct Case {
        const char *what;
        std::string sent, printed;
    };
    const Case cases[] = {
        {"199 bytes", std::string(199, 'x'), std::string(199, 'x')},
        {"200 bytes", std::string(199, 'y') + "Z", std::string(199, 'y')},
        {"250 bytes", std::string(250, 'z'), std::string(199, 'z')},
    };
    start("stream-reply-server");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t from = server->out().size();
        Fd client = connect();
        const pid_t kid = waitForChildren(1).at(0);
        harness::sendAll(client, c.sent);
        EXPECT_BYTES(kGoodBye, harness::recvAll(client));
        const std::string lines = replyLines(c.printed, kid);
        EXPECT_BYTES(std::string(kConnected) + lines, outputUntil(from, lines));
        waitForChildren(0);
    }
}

TEST_F(ReplyServer, OnlyTheFirstPieceIsRead) {
    start("stream-reply-server");
    Fd client = connect();
    const pid_t kid = waitForChildren(1).at(0);
    harness::sendAll(client, "abc");
    EXPECT_TRUE(server->waitForOutput(replyLines("abc", kid)));
    harness::sendAll(client, "def");
    EXPECT_BYTES(kGoodBye, harness::recvAll(client));
    waitForChildren(0);
    server->drainFor(100ms);
    EXPECT_BYTES(std::string(kConnected) + replyLines("abc", kid), server->out());
}

TEST_F(ReplyServer, ClientSendingNothingStillGetsGoodBye) {
    start("stream-reply-server");
    Fd client = connect();
    const pid_t kid = waitForChildren(1).at(0);
    shutdown(client.get(), SHUT_WR);  // the end of its stream, but it still listens
    EXPECT_BYTES(kGoodBye, harness::recvAll(client));
    EXPECT_BYTES(std::string(kConnected) + replyLines("", kid),
                 outputUntil(0, replyLines("", kid)));
    EXPECT_EQ("", server->err());
}

// A reset connection makes the child's read fail: it reports it, prints the empty text and
// its process id, and ends normally although its answer cannot be written. Output on a pipe
// shows that it ended by exit, which flushes: killed by SIGPIPE it would lose its lines (and
// the parent's line it inherited at fork).
TEST_F(ReplyServer, FailedReadIsReportedAndTheChildStillEnds) {
    start("stream-reply-server", {});
    Fd client = harness::tcpConnect(kPort);
    const pid_t kid = waitForChildren(1).at(0);
    const linger abort{1, 0};
    setsockopt(client.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    client.reset();  // sends a reset instead of the end of the stream
    EXPECT_TRUE(server->waitForOutput(replyLines("", kid))) << harness::visible(server->out());
    EXPECT_BYTES(std::string(kConnected) + replyLines("", kid), server->out());
    EXPECT_BYTES("read: Connection reset by peer\n", server->err());
}

// Both servers want TCP port 8000; whichever comes second cannot bind it.
TEST_F(StreamServer, TwoServersContendForThePort) {
    start("stream-dump-server");
    Fd client = connect();  // the dump server holds the port
    const auto reply = harness::run(harness::binPath("stream-reply-server"));
    EXPECT_EQ("exit status 2", reply.status.describe());
    EXPECT_BYTES("", reply.out);
    EXPECT_BYTES("bind:: Address already in use\n", reply.err);

    server.reset();
    client.reset();
    HARNESS_ISOLATE(harness::kNet);  // a fresh port 8000: the old one lingers after its connection
    start("stream-reply-server");
    client = connect();
    const auto dump = harness::run(harness::binPath("stream-dump-server"));
    EXPECT_EQ("exit status 1", dump.status.describe());
    EXPECT_BYTES("", dump.out);
    EXPECT_BYTES("bind:: Address already in use\n", dump.err);
}

// With no descriptor left for a connection, accept fails: each server reports it and goes on
// accepting, forking no child for it.
TEST_F(StreamServer, FailedAcceptIsReportedAndServingGoesOn) {
    for (const char *name : {"stream-dump-server", "stream-reply-server"}) {
        SCOPED_TRACE(name);
        // The lowest descriptor number the server leaves free once it listens is the one
        // accept would take: started again with that as its limit, accept finds none.
        start(name);
        ASSERT_TRUE(server->waitForState([&] { return hasSocket(server->pid()); }));
        const auto fds = openFds(server->pid());
        int limit = 0;
        while (fds.contains(limit))
            ++limit;
        server.reset();  // the listening socket goes with it; no connection holds the port

        start(name, {.pty = true, .limits = {{RLIMIT_NOFILE, static_cast<rlim_t>(limit)}}});
        Fd client = harness::tcpConnect(kPort);
        EXPECT_TRUE(server->waitForError("accept: Too many open files\n")) << server->err();
        EXPECT_TRUE(server->children().empty());
        EXPECT_FALSE(server->ended());
        EXPECT_EQ("", server->out());
    }
}

// A failed fork (here: the server's user may run no other process) is reported with its
// reason; the connection is closed unserved and the server goes on accepting.
TEST_F(StreamServer, FailedForkIsReportedAndServingGoesOn) {
    HARNESS_NEEDS_OTHER_USERS();
    const struct {
        const char *name, *unusedUid;
    } cases[] = {{"stream-dump-server", "1987654323"}, {"stream-reply-server", "1987654324"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        HARNESS_ISOLATE(harness::kNet);
        server.emplace(harness::startWhereForkFails(harness::binPath(c.name), c.unusedUid));
        for (int i = 0; i < 2; i++) {
            Fd client = harness::tcpConnect(kPort);
            EXPECT_TRUE(closedByServer(client));
        }
        EXPECT_TRUE(server->waitFor([&] {
            return count(server->err(), "fork: Resource temporarily unavailable\n") == 2;
        })) << server->err();
        EXPECT_BYTES(std::string(kConnected) + std::string(kConnected), server->out());
        EXPECT_TRUE(server->children().empty());
        EXPECT_FALSE(server->ended());
    }
}

// A burst of clients that send nothing: 64 children serve at once and the rest wait in the
// listen queue, unaccepted, until a child ends; none is lost.
TEST_F(StreamServer, ChildrenStayAtTheCapUnderABurstOfIdleClients) {
    constexpr std::size_t kCap = kMaxChildren;
    constexpr std::size_t kWaiting = 3;  // fewer than the backlog (5) holds
    for (const char *name : {"stream-dump-server", "stream-reply-server"}) {
        SCOPED_TRACE(name);
        HARNESS_ISOLATE(harness::kNet);
        start(name);
        std::vector<Fd> clients;
        for (std::size_t i = 0; i < kCap; i++)
            clients.push_back(connect());
        for (std::size_t i = 0; i < kWaiting; i++)
            clients.push_back(harness::tcpConnect(kPort));
        auto atCapWith = [&](std::size_t waiting) {
            return server->waitForState([&] {
                return waitingToBeAccepted() == waiting && server->children().size() == kCap;
            });
        };
        EXPECT_TRUE(atCapWith(kWaiting))
            << server->children().size() << " children, " << waitingToBeAccepted() << " waiting";
        EXPECT_EQ(kCap, count(server->out(), kConnected));

        clients.front().reset();  // its child ends; the first waiting connection takes its place
        EXPECT_TRUE(atCapWith(kWaiting - 1))
            << server->children().size() << " children, " << waitingToBeAccepted() << " waiting";
        clients.clear();
        EXPECT_TRUE(server->waitFor([&] {
            return count(server->out(), kConnected) == kCap + kWaiting;
        })) << count(server->out(), kConnected)
            << " accepted";
        waitForChildren(0);
    }
}

// A parent may start a server with SIGCHLD blocked (the mask survives exec): its children
// are collected all the same, so it serves on past 64 connections and leaves no zombie.
TEST_F(StreamServer, ChildrenAreCollectedWhenStartedWithSigchldBlocked) {
    for (const char *name : {"stream-dump-server", "stream-reply-server"}) {
        SCOPED_TRACE(name);
        HARNESS_ISOLATE(harness::kNet);
        start(name, {.pty = true, .blockedSignals = {SIGCHLD}});
        for (std::size_t i = 1; i <= kMaxChildren + 1; i++) {
            Fd client = harness::tcpConnect(kPort);
            harness::sendAll(client, "0123456789");
            ASSERT_TRUE(closedByServer(client)) << "connection " << i << " was not served";
        }
        waitForChildren(0);
        EXPECT_EQ(kMaxChildren + 1, count(server->out(), kConnected));
    }
}

// Output on a pipe: the parent's lines reach it as they are printed, no child prints them
// again, and none is lost when the server is killed.
TEST_F(StreamServer, LinesOnAPipeAreNeitherDoubledNorLost) {
    constexpr std::size_t kClients = 3;
    for (const char *name : {"stream-dump-server", "stream-reply-server"}) {
        SCOPED_TRACE(name);
        HARNESS_ISOLATE(harness::kNet);  // a fresh port 8000 for each server
        start(name, {});
        for (std::size_t i = 0; i < kClients; ++i) {
            Fd client = harness::tcpConnect(kPort);
            harness::sendAll(client, "0123456789");
            EXPECT_TRUE(closedByServer(client));
            waitForChildren(0);
        }
        server->signal(SIGTERM);
        ASSERT_TRUE(server->wait());
        EXPECT_EQ(kClients, count(server->out(), kConnected)) << harness::visible(server->out());
        EXPECT_EQ(kClients, count(server->out(), "9 \n") + count(server->out(), "handled by"));
    }
}

// A lasting accept failure (no descriptor left) is reported once and retried after a pause;
// once descriptors are allowed again the waiting client is served.
TEST_F(StreamServer, LastingAcceptFailureIsReportedOnceAndServingResumes) {
    for (const char *name : {"stream-dump-server", "stream-reply-server"}) {
        SCOPED_TRACE(name);
        HARNESS_ISOLATE(harness::kNet);
        start(name);
        ASSERT_TRUE(server->waitForState([&] { return hasSocket(server->pid()); }));
        // The lowest descriptor number the server leaves free is the one accept would take:
        // with that as its limit, accept finds none until the limit is raised again.
        const auto fds = openFds(server->pid());
        rlim_t lowest = 0;
        while (fds.contains(static_cast<int>(lowest)))
            ++lowest;
        rlimit usual;
        ASSERT_EQ(0, prlimit(server->pid(), RLIMIT_NOFILE, nullptr, &usual));
        const rlimit none{lowest, usual.rlim_max};
        ASSERT_EQ(0, prlimit(server->pid(), RLIMIT_NOFILE, &none, nullptr));

        Fd client = harness::tcpConnect(kPort);
        EXPECT_TRUE(server->waitForError("accept: Too many open files\n")) << server->err();
        server->drainFor(1s);
        EXPECT_BYTES("accept: Too many open files\n", server->err());

        ASSERT_EQ(0, prlimit(server->pid(), RLIMIT_NOFILE, &usual, nullptr));
        harness::sendAll(client, "0123456789");
        EXPECT_TRUE(closedByServer(client));  // served by a child of its own
        EXPECT_TRUE(server->waitForOutput(kConnected)) << harness::visible(server->out());
        EXPECT_BYTES("accept: Too many open files\n", server->err());
    }
}

}  // namespace
