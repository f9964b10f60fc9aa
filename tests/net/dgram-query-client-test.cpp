// dgram-query-client talking to the reply service peer, and to the test playing the service
// (to see each datagram's bytes and to answer what the peer would not). Each case runs in its
// own network namespace, so UDP port 8000 is its own.
#include <cstdio>
#include <sstream>
#include <vector>

#include "check.hpp"

namespace {

using harness::Fd;
using namespace std::chrono_literals;

constexpr std::uint16_t kPort = 8000;
constexpr int kLimit = 999;  // longest word sent and longest reply printed

// True once a UDP socket is bound to port 8000 in this network namespace.
bool serviceBound() {
    return harness::readFile("/proc/net/udp").find(":1F40 ") != std::string::npos;
}

// Bytes waiting in the receive queue of the UDP socket on a local port, from /proc/net/udp.
std::size_t waitingBytes(std::uint16_t port) {
    char portEnd[8];
    snprintf(portEnd, sizeof portEnd, ":%04X", port);
    std::istringstream lines(harness::readFile("/proc/net/udp"));
    std::string line, slot, local, remote, state, queues;
    while (std::getline(lines, line)) {
        std::istringstream(line) >> slot >> local >> remote >> state >> queues;
        if (local.ends_with(portEnd))
            return std::stoul(queues.substr(queues.find(':') + 1), nullptr, 16);
    }
    return 0;
}

class QueryClient : public testing::Test {
  protected:
    void SetUp() override { HARNESS_ISOLATE(harness::kNet); }
};

TEST_F(QueryClient, OneTwoGivesTwoDatagramsAndTwoReplies) {
    harness::Process service(harness::binPath("dgram-reply-service"), {.pty = true});
    ASSERT_TRUE(service.waitForState(serviceBound));
    const auto result = harness::run(harness::binPath("dgram-query-client"), "one two\n");
    EXPECT_EQ("exit status 0", result.status.describe());
    EXPECT_BYTES("From server ONE\nFrom server TWO\n", result.out);
    EXPECT_BYTES("", result.err);
    // The service saw two datagrams of 3 bytes each, from one port.
    ASSERT_TRUE(service.waitForLines(2)) << service.out();
    const std::string &seen = service.out();
    const auto from = seen.substr(0, seen.find(':'));
    EXPECT_EQ(0u, seen.rfind("3 bytes from port ", 0)) << seen;
    EXPECT_BYTES(from + ": one -> ONE\n" + from + ": two -> TWO\n", seen);
}

TEST_F(QueryClient, WordsAndRepliesAtAndOverTheLimits) {
    const Fd service = harness::udpSocket(kPort);
    struct Exchange {
        std::string datagram;  // what the client sends
        std::string reply;     // what the test answers
        std::string printed;   // the reply's text as the client prints it
    };
    const std::string overLong(kLimit + 1, 'c');
    const std::vector<Exchange> exchanges = {
        {"one", "ONE", "ONE"},
        {"two", "", ""},  // an empty reply prints an empty text
        {std::string(kLimit, 'a'), std::string(kLimit, 'b'), std::string(kLimit, 'b')},
        // A 1000-byte word goes out as 999 bytes and the rest as the next word; replies of
        // 1000 bytes and more are cut to 999.
        {std::string(kLimit, 'c'), std::string(kLimit + 1, 'd'), std::string(kLimit, 'd')},
        {"c", std::string(1500, 'e'), std::string(kLimit, 'e')},
    };
    harness::Process client(harness::binPath("dgram-query-client"));
    client.write("one\ttwo\n  " + std::string(kLimit, 'a') + " " + overLong + "\n");
    client.closeInput();

    std::string expected;
    std::uint16_t clientPort = 0;
    for (const auto &x : exchanges) {
        SCOPED_TRACE(x.datagram.substr(0, 10));
        std::uint16_t from = 0;
        const auto got = harness::recvFrom(service, harness::kTimeout, &from);
        ASSERT_TRUE(got);
        EXPECT_BYTES(x.datagram, *got);
        if (clientPort == 0)
            clientPort = from;
        EXPECT_EQ(clientPort, from);  // one socket, one port, for every word
        harness::sendTo(service, from, x.reply);
        expected += "From server " + x.printed + "\n";
    }
    const auto status = client.wait();
    ASSERT_TRUE(status);
    EXPECT_EQ("exit status 0", status->describe());  // the end of its input ends the client
    EXPECT_BYTES(expected, client.out());
    EXPECT_BYTES("", client.err());
    EXPECT_FALSE(harness::recvFrom(service, 100ms));  // nothing more was sent
}

// A word that gets no reply holds the client for 3 s: reported as a failed receive, then the
// next word goes out.
TEST_F(QueryClient, MissingReplyIsReportedAndTheNextWordFollows) {
    const Fd service = harness::udpSocket(kPort);
    harness::Process client(harness::binPath("dgram-query-client"));
    client.write("one two\n");
    client.closeInput();
    EXPECT_EQ("one", harness::recvFrom(service).value_or("(none)"));  // left without a reply
    std::uint16_t from = 0;
    EXPECT_EQ("two", harness::recvFrom(service, harness::kTimeout, &from).value_or("(none)"));
    harness::sendTo(service, from, "TWO");
    const auto status = client.wait();
    ASSERT_TRUE(status);
    EXPECT_EQ("exit status 0", status->describe());
    EXPECT_BYTES("From server TWO\n", client.out());
    EXPECT_BYTES("recvfrom: Resource temporarily unavailable\n", client.err());
}

// A reply that comes after the client gave up on its word is dropped before the next word goes
// out, so it is not printed as that word's answer.
TEST_F(QueryClient, LateReplyIsNotPrintedForTheNextWord) {
    const Fd service = harness::udpSocket(kPort);
    harness::Process client(harness::binPath("dgram-query-client"));
    client.write("one\n");
    std::uint16_t from = 0;
    EXPECT_EQ("one", harness::recvFrom(service, harness::kTimeout, &from).value_or("(none)"));
    ASSERT_TRUE(client.waitForError("recvfrom: Resource temporarily unavailable\n"));
    harness::sendTo(service, from, "ONE");
    ASSERT_TRUE(harness::waitUntil([&] { return waitingBytes(from) > 0; }));
    client.write("two\n");
    EXPECT_EQ("two", harness::recvFrom(service).value_or("(none)"));
    harness::sendTo(service, from, "TWO");
    client.closeInput();
    ASSERT_TRUE(client.wait());
    EXPECT_BYTES("From server TWO\n", client.out());
}

// Only the service's datagrams reach the client: one from another port is never printed.
TEST_F(QueryClient, DatagramFromAnotherPortIsNeverPrinted) {
    const Fd service = harness::udpSocket(kPort);
    const Fd other = harness::udpSocket();
    harness::Process client(harness::binPath("dgram-query-client"));
    client.write("one\n");
    std::uint16_t from = 0;
    EXPECT_EQ("one", harness::recvFrom(service, harness::kTimeout, &from).value_or("(none)"));
    harness::sendTo(other, from, "FORGED");
    harness::sendTo(service, from, "ONE");
    client.closeInput();
    ASSERT_TRUE(client.wait());
    EXPECT_BYTES("From server ONE\n", client.out());
    EXPECT_BYTES("", client.err());
}

TEST_F(QueryClient, NoWordsSendNothing) {
    const Fd service = harness::udpSocket(kPort);
    const auto result = harness::run(harness::binPath("dgram-query-client"), " \n\t\n");
    EXPECT_EQ("exit status 0", result.status.describe());
    EXPECT_BYTES("", result.out + result.err);
    EXPECT_FALSE(harness::recvFrom(service, 100ms));
}

}  // namespace
