// oracle-server driven by datagrams the test crafts, and a whole oracle-client conversation.
// Each case runs in its own network namespace, so UDP port 9000 is its own.
#include <csignal>
#include <cstdint>
#include <cstring>

#include "check.hpp"

namespace {

using harness::Fd;
using namespace std::chrono_literals;

constexpr std::uint16_t kPort = 9000;
constexpr std::string_view kGreeting = "Welcome to ZQ. what's your name";
constexpr std::string_view kConnected = " client connected \n";

std::string progress(int n) {
    return " read " + std::to_string(n) + " no of bytes from n/w(Client/Server) \n";
}

std::string lengthBytes(std::int16_t len) {
    return std::string(reinterpret_cast<const char *>(&len), sizeof len);
}

class OracleServer : public testing::Test {
  protected:
    void SetUp() override {
        HARNESS_ISOLATE(harness::kNet);
        client = harness::udpSocket();  // sockets belong to the namespace they are made in
        server.emplace(harness::binPath("oracle-server"), harness::Options{.pty = true});
        ASSERT_TRUE(server->waitForOutput(kConnected)) << server->out();
    }

    // Say hello as oracle-client does, and take the greeting.
    void contact(const Fd &client) {
        harness::sendTo(client, kPort, "");
        EXPECT_EQ(lengthBytes(31), harness::recvFrom(client).value_or("(none)"));
        EXPECT_EQ(kGreeting, harness::recvFrom(client).value_or("(none)"));
    }

    // The fortune as the client receives it: length datagram, then body.
    std::string fortune(const Fd &client) {
        const auto len = harness::recvFrom(client);
        const auto body = harness::recvFrom(client);
        if (!len || !body || len->size() != 2)
            return "(no fortune)";
        std::int16_t n;
        memcpy(&n, len->data(), 2);
        EXPECT_EQ(static_cast<std::size_t>(n), body->size());
        return *body;
    }

    // A client on a socket of its own still gets its fortune: the service goes on.
    void expectNewClientServed() {
        Fd other = harness::udpSocket();
        contact(other);
        harness::sendTo(other, kPort, lengthBytes(3));
        harness::sendTo(other, kPort, "ann");
        EXPECT_EQ("blah.. blah..", fortune(other));
    }

    // Wait for the next exchange to begin and return what this one printed.
    std::string exchangeOutput() {
        const std::size_t from = exchangeStart;
        EXPECT_TRUE(server->waitFor([&] {
            return server->out().size() > from + kConnected.size() &&
                   server->out().ends_with(kConnected);
        }));
        exchangeStart = server->out().size() - kConnected.size();
        return server->out().substr(from);
    }
    std::size_t exchangeStart = 0;  // where the current exchange's output begins

    std::optional<harness::Process> server;
    Fd client;
};

struct NameCase {
    std::string name;
    int fortuneNo;
    std::string fortune;
};

TEST_F(OracleServer, NamesPickTheirFortunes) {
    const NameCase cases[] = {
        {"bob", 1, "you will get job"},
        {"alice", 0, "you will get good score in exam"},
        {"ann", 2, "blah.. blah.."},
        {"jos\xc3\xa9", 1, "you will get job"},  // UTF-8 bytes count as signed: sum 184
        {"\xff\xff", -2, "you will get job"},    // a negative sum still names a real entry
        {"\xff", -1, "blah.. blah.."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(harness::visible(c.name));
        contact(client);
        harness::sendTo(client, kPort, lengthBytes(static_cast<std::int16_t>(c.name.size())));
        harness::sendTo(client, kPort, c.name);
        EXPECT_EQ(c.fortune, fortune(client));
        EXPECT_BYTES(std::string(kConnected) + progress(2) +
                         progress(static_cast<int>(c.name.size())) + c.name + "\n" +
                         " fortune_no = " + std::to_string(c.fortuneNo) + "\n" +
                         std::string(kConnected),
                     exchangeOutput());
    }
    EXPECT_EQ("", server->err());
}

TEST_F(OracleServer, BodyLongerThanAnnouncedIsCut) {
    contact(client);
    harness::sendTo(client, kPort, lengthBytes(3));
    harness::sendTo(client, kPort, "bobby");
    EXPECT_EQ("you will get job", fortune(client));
    EXPECT_BYTES(std::string(kConnected) + progress(2) + progress(3) + "bob\n fortune_no = 1\n" +
                     std::string(kConnected),
                 exchangeOutput());
}

TEST_F(OracleServer, BodyShorterThanAnnouncedIsFilledByLaterDatagrams) {
    contact(client);
    harness::sendTo(client, kPort, lengthBytes(5));
    harness::sendTo(client, kPort, "al");
    Fd other = harness::udpSocket();
    harness::sendTo(other, kPort, "ice");
    // The fortune goes to whoever sent the name's last datagram.
    EXPECT_EQ("you will get good score in exam", fortune(other));
    EXPECT_BYTES(std::string(kConnected) + progress(2) + progress(2) + progress(3) +
                     "alice\n fortune_no = 0\n" + std::string(kConnected),
                 exchangeOutput());
}

TEST_F(OracleServer, ZeroLengthConsumesOneDatagramAndAnswersEntryZero) {
    contact(client);
    harness::sendTo(client, kPort, lengthBytes(0));
    harness::sendTo(client, kPort, "swallowed");
    EXPECT_EQ("you will get good score in exam", fortune(client));
    EXPECT_BYTES(std::string(kConnected) + progress(2) + progress(0) + "\n fortune_no = 0\n" +
                     std::string(kConnected),
                 exchangeOutput());
    EXPECT_TRUE(server->waitForError("sockread:: ")) << server->err();
}

TEST_F(OracleServer, NegativeLengthReceivesNothingForTheName) {
    contact(client);
    harness::sendTo(client, kPort, lengthBytes(-5));
    EXPECT_EQ("you will get good score in exam", fortune(client));
    EXPECT_BYTES(
        std::string(kConnected) + progress(2) + "\n fortune_no = 0\n" + std::string(kConnected),
        exchangeOutput());
    EXPECT_EQ("", server->err());
}

TEST_F(OracleServer, OneByteLengthDatagramBorrowsFromTheNext) {
    contact(client);
    harness::sendTo(client, kPort, "\x02");
    harness::sendTo(client, kPort, std::string("\x00zz", 3));  // second length byte; rest lost
    harness::sendTo(client, kPort, "hi");
    EXPECT_EQ("blah.. blah..", fortune(client));  // 'h' + 'i' = 209
    EXPECT_BYTES(std::string(kConnected) + progress(1) + progress(1) + progress(2) + "hi\n" +
                     " fortune_no = 2\n" + std::string(kConnected),
                 exchangeOutput());
}

TEST_F(OracleServer, EmptyLengthEndsTheExchangeAndTheNextClientIsServed) {
    contact(client);
    harness::sendTo(client, kPort, "");  // no length at all
    EXPECT_BYTES(std::string(kConnected) + progress(0) + std::string(kConnected), exchangeOutput());
    expectNewClientServed();
}

// A client that ends at the greeting leaves the server waiting for its length; the next
// client's hello starts a new exchange. Output on a pipe: every line is there, also after a kill.
TEST_F(OracleServer, HelloWhereALengthIsDueStartsANewExchange) {
    server.emplace(harness::binPath("oracle-server"), harness::Options{});
    ASSERT_TRUE(server->waitForOutput(kConnected)) << harness::visible(server->out());
    const auto quitter = harness::run(harness::binPath("oracle-client"), "");
    EXPECT_EQ("exit status 1", quitter.status.describe());
    const auto bob = harness::run(harness::binPath("oracle-client"), "bob\n", {}, 8s);
    EXPECT_GOLDEN(bob, "net/golden/oracle-client-bob");
    const std::string expected = std::string(kConnected) + progress(0) + std::string(kConnected) +
                                 progress(2) + progress(3) + "bob\n fortune_no = 1\n" +
                                 std::string(kConnected);
    EXPECT_TRUE(server->waitForOutput(expected)) << harness::visible(server->out());
    server->signal(SIGTERM);
    ASSERT_TRUE(server->wait());
    EXPECT_BYTES(expected, server->out());
}

// A length without its name holds the service for 2 s at most; then the next client is served.
TEST_F(OracleServer, NameThatNeverComesIsGivenUp) {
    contact(client);
    harness::sendTo(client, kPort, lengthBytes(3));
    EXPECT_BYTES(std::string(kConnected) + progress(2) + progress(-1) + std::string(kConnected),
                 exchangeOutput());
    EXPECT_BYTES(
        "sockread:: Resource temporarily unavailable\n"
        "oracle-server: no name within 2 s, exchange abandoned\n",
        server->err());
    expectNewClientServed();
}

// Without a server the kernel refuses the hello and the client ends at once; a server that
// never answers is given up after 3 s.
TEST_F(OracleServer, ClientWithoutAServerGivesUp) {
    server.reset();
    const struct {
        bool silentServer;
        std::string err;
        std::chrono::seconds least, most;
    } cases[] = {
        {false, "sockread:: Connection refused\n", 0s, 2s},
        {true,
         "sockread:: Resource temporarily unavailable\n"
         "oracle-client: no answer from the server within 3 s\n",
         3s, 6s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.silentServer ? "silent server" : "no server");
        const Fd silent = c.silentServer ? harness::udpSocket(kPort) : Fd();
        const auto start = std::chrono::steady_clock::now();
        const auto result = harness::run(harness::binPath("oracle-client"), "bob\n");
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_EQ("exit status 1", result.status.describe());
        EXPECT_BYTES(progress(-1), result.out);
        EXPECT_BYTES(c.err, result.err);
        EXPECT_GE(waited, c.least);
        EXPECT_LT(waited, c.most);
    }
}

// The client takes its server's datagrams only: a greeting sent from another port is dropped.
TEST_F(OracleServer, ClientTakesNothingFromAnotherPort) {
    server.reset();
    const Fd fake = harness::udpSocket(kPort);  // the test plays the server
    const Fd other = harness::udpSocket();
    harness::Process client(harness::binPath("oracle-client"));
    std::uint16_t from = 0;
    EXPECT_EQ("", harness::recvFrom(fake, harness::kTimeout, &from).value_or("(none)"));
    harness::sendTo(other, from, lengthBytes(6));
    harness::sendTo(other, from, "forged");
    harness::sendTo(fake, from, lengthBytes(31));
    harness::sendTo(fake, from, kGreeting);
    client.write("bob\n");
    EXPECT_EQ(lengthBytes(3), harness::recvFrom(fake).value_or("(none)"));
    EXPECT_EQ("bob", harness::recvFrom(fake).value_or("(none)"));
    harness::sendTo(fake, from, lengthBytes(16));
    harness::sendTo(fake, from, "you will get job");
    client.closeInput();
    ASSERT_TRUE(client.wait());
    EXPECT_BYTES(harness::golden("net/golden/oracle-client-bob").out, client.out());
    EXPECT_BYTES("", client.err());
}

TEST_F(OracleServer, SecondServerCannotBindThePort) {
    const auto second = harness::run(harness::binPath("oracle-server"));
    EXPECT_EQ("exit status 1", second.status.describe());
    EXPECT_BYTES("", second.out);
    EXPECT_BYTES("bind:: Address already in use\n", second.err);
}

TEST_F(OracleServer, ConversationsWithOracleClient) {
    for (const std::string name : {"bob", "alice"}) {
        const auto result =
            harness::run(harness::binPath("oracle-client"), "  \n" + name + " rest\n");
        EXPECT_GOLDEN(result, "net/golden/oracle-client-" + name);
    }
    EXPECT_TRUE(server->waitForOutput("alice\n fortune_no = 0\n" + std::string(kConnected)));
    EXPECT_BYTES(std::string(kConnected) + progress(2) + progress(3) + "bob\n fortune_no = 1\n" +
                     std::string(kConnected) + progress(2) + progress(5) +
                     "alice\n fortune_no = 0\n" + std::string(kConnected),
                 server->out());
}

TEST_F(OracleServer, ClientWithoutANameSendsNothing) {
    const auto result = harness::run(harness::binPath("oracle-client"), "");
    EXPECT_EQ("exit status 1", result.status.describe());
    EXPECT_BYTES(progress(2) + progress(31) + std::string(kGreeting) + "\n", result.out);
    EXPECT_BYTES("oracle-client: no name on standard input\n", result.err);
    // The server is still waiting for a length: the client sent nothing after its hello.
    server->drainFor(200ms);
    EXPECT_BYTES(kConnected, server->out());
}

TEST_F(OracleServer, LongNameIsCutTo199Bytes) {
    const std::string name(250, 'x');
    const auto result = harness::run(harness::binPath("oracle-client"), name + "\n");
    EXPECT_EQ("exit status 0", result.status.describe());
    EXPECT_TRUE(server->waitForOutput(std::string(199, 'x') + "\n"));
    EXPECT_NE(std::string::npos, server->out().find(progress(199)));
}

}  // namespace
