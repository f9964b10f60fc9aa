// The datagram framing helpers, linked in and fed by datagrams the test sends itself.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "check.hpp"
#include "dgram-framing.hpp"

namespace {

using harness::Fd;

struct FreeDeleter {
    void operator()(char *p) const { free(p); }
};
using Block = std::unique_ptr<char, FreeDeleter>;

// A receiving socket for readNBytes and a peer that sends to it, both on loopback.
class Framing : public testing::Test {
  protected:
    Fd receiver = harness::udpSocket();
    Fd peer = harness::udpSocket();
    std::uint16_t port = harness::localPort(receiver);

    void send(std::string_view bytes) { harness::sendTo(peer, port, bytes); }

    // readNBytes with its standard output and error captured.
    struct Read {
        Block block;
        std::string out, err;
    };
    Read read(int n) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        Block block(readNBytes(receiver.get(), n));
        fflush(stdout);
        return {std::move(block), testing::internal::GetCapturedStdout(),
                testing::internal::GetCapturedStderr()};
    }

    static std::string progress(int n) {
        return " read " + std::to_string(n) + " no of bytes from n/w(Client/Server) \n";
    }
    void expectSender(const Fd &from) {
        EXPECT_EQ(clilen, 16);
        EXPECT_EQ(cliaddr.sin_family, AF_INET);
        EXPECT_EQ(ntohs(cliaddr.sin_port), harness::localPort(from));
        EXPECT_EQ(ntohl(cliaddr.sin_addr.s_addr), INADDR_LOOPBACK);
    }
};

TEST_F(Framing, LengthThenBodyMakeOneMessage) {
    const std::int16_t len = 3;
    send(std::string_view(reinterpret_cast<const char *>(&len), 2));
    send("bob");
    auto head = read(2);
    ASSERT_TRUE(head.block);
    EXPECT_BYTES(std::string("\x03\x00", 2), std::string(head.block.get(), 2));
    EXPECT_BYTES(progress(2), head.out);
    expectSender(peer);
    auto body = read(3);
    ASSERT_TRUE(body.block);
    EXPECT_BYTES("bob", std::string(body.block.get(), 3));
    EXPECT_BYTES(progress(3), body.out);
    EXPECT_EQ("", body.err);
}

TEST_F(Framing, OneByteDatagramTakesSecondByteFromNextDatagram) {
    send("\x05");
    send("\x01zzz");  // only its first byte is wanted; the rest of the datagram is lost
    send("next");
    auto head = read(2);
    ASSERT_TRUE(head.block);
    EXPECT_BYTES(std::string("\x05\x01", 2), std::string(head.block.get(), 2));
    EXPECT_BYTES(progress(1) + progress(1), head.out);
    auto after = read(4);
    ASSERT_TRUE(after.block);
    EXPECT_BYTES("next", std::string(after.block.get(), 4));
}

TEST_F(Framing, LongerDatagramIsCutAndShorterOnesAreGathered) {
    send("abcdefgh");
    auto cut = read(3);
    ASSERT_TRUE(cut.block);
    EXPECT_BYTES("abc", std::string(cut.block.get(), 3));

    // A second sender fills the rest: readNBytes takes bytes from whoever sends.
    Fd other = harness::udpSocket();
    send("xy");
    harness::sendTo(other, port, "z1234");
    auto gathered = read(5);
    ASSERT_TRUE(gathered.block);
    EXPECT_BYTES("xyz12", std::string(gathered.block.get(), 5));
    EXPECT_BYTES(progress(2) + progress(3), gathered.out);
    expectSender(other);
}

TEST_F(Framing, ZeroCountConsumesADatagramAndFails) {
    send("gone");
    send("kept");
    auto zero = read(0);
    EXPECT_FALSE(zero.block);
    EXPECT_BYTES(progress(0), zero.out);
    EXPECT_EQ(0u, zero.err.rfind("sockread:: ", 0)) << zero.err;  // errno is left as it was
    auto next = read(4);
    ASSERT_TRUE(next.block);
    EXPECT_BYTES("kept", std::string(next.block.get(), 4));
}

TEST_F(Framing, EmptyDatagramFailsButRecordsItsSender) {
    Fd other = harness::udpSocket();
    harness::sendTo(other, port, "");
    auto empty = read(2);
    EXPECT_FALSE(empty.block);
    EXPECT_BYTES(progress(0), empty.out);
    EXPECT_EQ(0u, empty.err.rfind("sockread:: ", 0)) << empty.err;
    expectSender(other);
}

TEST_F(Framing, NegativeCountReturnsAtOnceWithoutReceiving) {
    send("stays");
    auto negative = read(-2);
    EXPECT_FALSE(negative.block);
    EXPECT_EQ("", negative.out);
    EXPECT_EQ("", negative.err);
    auto next = read(5);
    ASSERT_TRUE(next.block);
    EXPECT_BYTES("stays", std::string(next.block.get(), 5));
}

TEST_F(Framing, FailedReceiveReportsAndLeavesTheSenderAlone) {
    send("x");
    ASSERT_TRUE(read(1).block);
    const sockaddr_in before = cliaddr;
    receiver.reset();  // readNBytes on a closed descriptor: recvfrom fails with EBADF
    auto failed = read(1);
    EXPECT_FALSE(failed.block);
    EXPECT_BYTES(progress(-1), failed.out);
    EXPECT_BYTES("sockread:: Bad file descriptor\n", failed.err);
    EXPECT_EQ(0, memcmp(&before, &cliaddr, sizeof before));
    EXPECT_EQ(clilen, 16);
}

TEST(Connandlisten, BindsEveryAddressAndRefusesAHeldPort) {
    const int fd = connandlisten(0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    ASSERT_EQ(0, getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len));
    EXPECT_EQ(INADDR_ANY, ntohl(addr.sin_addr.s_addr));
    int type = 0;
    len = sizeof type;
    getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len);
    EXPECT_EQ(SOCK_DGRAM, type);

    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, connandlisten(ntohs(addr.sin_port)));
    EXPECT_BYTES("bind:: Address already in use\n", testing::internal::GetCapturedStderr());
    close(fd);
}

}  // namespace
