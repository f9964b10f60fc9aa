// The stream framing helpers, linked in and fed over a loopback TCP connection that the test
// holds both ends of. Each case has its own network namespace, so port 8000 is its own.
#include <arpa/inet.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "check.hpp"
#include "stream-framing.hpp"

namespace {

using harness::Fd;
using namespace std::chrono_literals;

constexpr std::uint16_t kPort = 8000;

struct FreeDeleter {
    void operator()(char *p) const { free(p); }
};
using Block = std::unique_ptr<char, FreeDeleter>;

std::string progress(int n) {
    return " read " + std::to_string(n) + " from cli \n";
}

// A listening socket from connandlisten, a client connected to it and the accepted end.
class StreamFraming : public testing::Test {
  protected:
    void SetUp() override {
        HARNESS_ISOLATE(harness::kNet);
        listener.reset(connandlisten(kPort));
        ASSERT_TRUE(listener);
        peer = harness::tcpConnect(kPort);
        conn.reset(accept(listener.get(), nullptr, nullptr));
        ASSERT_TRUE(conn);
    }

    // readNBytes on the accepted end with its standard output and error captured.
    struct Read {
        Block block;
        std::string out, err;
        std::string bytes(int n) const { return block ? std::string(block.get(), n) : "(null)"; }
    };
    Read read(int n, int seconds = 0) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        Block block(readNBytes(conn.get(), n, seconds));
        fflush(stdout);
        return {std::move(block), testing::internal::GetCapturedStdout(),
                testing::internal::GetCapturedStderr()};
    }

    // The accepted end's receive timeout in microseconds (0: none).
    long long readTimeout() const {
        timeval t{};
        socklen_t size = sizeof t;
        getsockopt(conn.get(), SOL_SOCKET, SO_RCVTIMEO, &t, &size);
        return t.tv_sec * 1'000'000LL + t.tv_usec;
    }

    // Bytes that have arrived on the accepted end and are not read yet.
    int unread() const {
        int n = -1;
        ioctl(conn.get(), FIONREAD, &n);
        return n;
    }

    Fd listener, peer, conn;
};

TEST_F(StreamFraming, PiecesAreGatheredAndBytesAfterTheCountStay) {
    harness::sendAll(peer, "0123456789");
    auto whole = read(10);
    EXPECT_BYTES("0123456789", whole.bytes(10));
    EXPECT_BYTES(progress(10), whole.out);

    // 15 bytes in one piece: the first 10 are taken, the other 5 stay in the connection.
    harness::sendAll(peer, "abcdefghijklmno");
    auto first = read(10);
    EXPECT_BYTES("abcdefghij", first.bytes(10));
    EXPECT_BYTES(progress(10), first.out);
    EXPECT_EQ(5, unread());
    auto rest = read(5);
    EXPECT_BYTES("klmno", rest.bytes(5));
    EXPECT_EQ("", first.err + rest.err);
}

TEST_F(StreamFraming, FourThenSixBytesTakeTwoReads) {
    // The second piece is sent only once the first has been read, so the reads see 4 and 6
    // (the second read wants exactly the 6 left, whether they are there yet or not).
    std::thread sender([this] {
        harness::sendAll(peer, "0123");
        const auto deadline = std::chrono::steady_clock::now() + harness::kTimeout;
        while (unread() != 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        harness::sendAll(peer, "456789");
    });
    auto r = read(10);
    sender.join();
    EXPECT_BYTES("0123456789", r.bytes(10));
    EXPECT_BYTES(progress(4) + progress(6), r.out);
}

TEST_F(StreamFraming, PeerClosingEarlyLosesWhatCame) {
    harness::sendAll(peer, "abc");
    peer.reset();
    auto r = read(10);
    EXPECT_FALSE(r.block);
    EXPECT_BYTES(progress(3) + progress(0), r.out);
    EXPECT_EQ(0u, r.err.rfind("sockread:: ", 0)) << r.err;  // errno is whatever it held
}

// A limit for the whole call: a peer that sends part of the bytes and then nothing gets a
// failed read (as a timed-out one) when the first of the two limits ends, the call's or the
// socket's for each read, and the socket's own timeout is as it was.
TEST_F(StreamFraming, ALimitForTheWholeCall) {
    const struct {
        const char *what;
        long long eachRead;  // the socket's receive timeout, in microseconds (0: none)
        int seconds;         // the call's
    } cases[] = {
        {"the call's limit first", 5'000'000, 1},
        {"no limit for each read", 0, 1},
        {"each read's limit first", 1'000'000, 5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const timeval each{static_cast<time_t>(c.eachRead / 1'000'000),
                           static_cast<suseconds_t>(c.eachRead % 1'000'000)};
        ASSERT_EQ(0, setsockopt(conn.get(), SOL_SOCKET, SO_RCVTIMEO, &each, sizeof each));
        harness::sendAll(peer, "abc");
        const auto began = std::chrono::steady_clock::now();
        auto r = read(10, c.seconds);
        const auto took = std::chrono::steady_clock::now() - began;
        EXPECT_FALSE(r.block);
        EXPECT_BYTES(progress(3) + progress(-1), r.out);
        EXPECT_BYTES("sockread:: Resource temporarily unavailable\n", r.err);
        EXPECT_GE(took, 1s);
        EXPECT_LT(took, 4s);  // not the 5 s of the other limit
        EXPECT_EQ(c.eachRead, readTimeout());
    }
}

TEST_F(StreamFraming, ZeroNegativeAndFailedReads) {
    harness::sendAll(peer, "xyz");
    auto zero = read(0);  // one read of nothing: 0 looks like the end of the stream
    EXPECT_FALSE(zero.block);
    EXPECT_BYTES(progress(0), zero.out);
    EXPECT_EQ(0u, zero.err.rfind("sockread:: ", 0)) << zero.err;
    auto negative = read(-1);
    EXPECT_FALSE(negative.block);
    EXPECT_EQ("", negative.out + negative.err);
    EXPECT_EQ(3, unread());  // neither took a byte

    conn.reset();
    auto failed = read(3);
    EXPECT_FALSE(failed.block);
    EXPECT_BYTES(progress(-1), failed.out);
    EXPECT_BYTES("sockread:: Bad file descriptor\n", failed.err);
}

TEST_F(StreamFraming, ListensOnEveryAddressWithBacklogFive) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    ASSERT_EQ(0, getsockname(listener.get(), reinterpret_cast<sockaddr *>(&addr), &len));
    EXPECT_EQ(INADDR_ANY, ntohl(addr.sin_addr.s_addr));
    EXPECT_EQ(kPort, ntohs(addr.sin_port));
    auto option = [&](int name) {
        int value = -1;
        socklen_t size = sizeof value;
        getsockopt(listener.get(), SOL_SOCKET, name, &value, &size);
        return value;
    };
    EXPECT_EQ(SOCK_STREAM, option(SO_TYPE));
    EXPECT_EQ(1, option(SO_ACCEPTCONN));
    EXPECT_EQ(0, option(SO_REUSEADDR));
    // For a listening socket, ss shows the backlog in the Send-Q column.
    const auto ss = harness::run("/usr/bin/ss", "", {.args = {"-ltnH", "sport = :8000"}});
    EXPECT_EQ(0u, ss.out.rfind("LISTEN 0      5", 0)) << ss.out;
}

TEST_F(StreamFraming, HeldPortsAreRefused) {
    testing::internal::CaptureStderr();
    const int second = connandlisten(kPort);
    EXPECT_BYTES("bind:: Address already in use\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ(-1, second);

    // A connection this side closed first still holds the port (no address reuse).
    conn.reset();
    EXPECT_EQ("", harness::recvAll(peer));
    peer.reset();
    listener.reset();
    testing::internal::CaptureStderr();
    const int afterClose = connandlisten(kPort);
    EXPECT_BYTES("bind:: Address already in use\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ(-1, afterClose);
}

}  // namespace
