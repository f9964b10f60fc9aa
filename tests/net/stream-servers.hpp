// What the stream servers' tests share: clients the test plays on TCP port 8000 and a fixture
// that runs a server on a terminal (its children share it) in a fresh network namespace.
#pragma once

#include <sys/socket.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <set>

#include "check.hpp"

namespace stream_servers {

using harness::Fd;
using namespace std::chrono_literals;

constexpr std::uint16_t kPort = 8000;
constexpr std::string_view kConnected = " client connected \n";
constexpr std::string_view kGoodBye = "Good Bye";
constexpr auto kLong = 120s;              // for waits that many processes must finish first
constexpr std::size_t kMaxChildren = 64;  // children either server lets serve at once

inline std::string progress(int n) {
    return " read " + std::to_string(n) + " from cli \n";
}

// The dump child's lines for the bytes it prints: each byte, a space and a newline.
inline std::string byteLines(std::string_view bytes) {
    std::string lines;
    for (const char c : bytes)
        lines += std::string(1, c) + " \n";
    return lines;
}

inline std::string replyLines(std::string_view text, pid_t child) {
    return " data rec'd from client = " + std::string(text) + "\n requested handled by server " +
           std::to_string(child) + "\n";
}

inline std::size_t count(std::string_view text, std::string_view what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// True once the server has ended the connection (end of stream or reset), within the timeout.
inline bool closedByServer(const Fd &client) {
    harness::recvAll(client);  // up to the end of the stream, or until the timeout
    char byte;
    const ssize_t n = recv(client.get(), &byte, 1, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN);
}

// The descriptors a process has open, by number.
inline std::set<int> openFds(pid_t pid) {
    std::set<int> fds;
    std::error_code ec;
    for (const auto &e :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec))
        fds.insert(std::stoi(e.path().filename().string()));
    return fds;
}

// True when a process has a socket open.
inline bool hasSocket(pid_t pid) {
    std::error_code ec;
    for (const auto &e :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        if (std::filesystem::read_symlink(e.path(), ec).string().starts_with("socket:"))
            return true;
    }
    return false;
}

// Case names for cases run once with each server: "Dump", "Reply".
inline std::string serverName(const testing::TestParamInfo<const char *> &info) {
    return std::string(info.param).find("dump") != std::string::npos ? "Dump" : "Reply";
}

class StreamServer : public testing::Test {
  protected:
    void SetUp() override { HARNESS_ISOLATE(harness::kNet); }

    void start(const char *name, harness::Options options = {.pty = true}) {
        server.emplace(harness::binPath(name), std::move(options));
    }

    // A connection the server has accepted; its line " client connected " has been printed.
    Fd connect() {
        const std::size_t before = count(server->out(), kConnected);
        Fd client = harness::tcpConnect(kPort);
        EXPECT_TRUE(server->waitFor([&] { return count(server->out(), kConnected) > before; }))
            << server->out();
        return client;
    }

    // The server's children once there are `n` of them, all waiting for their client.
    std::vector<pid_t> waitForChildren(std::size_t n) {
        std::vector<pid_t> kids;
        EXPECT_TRUE(server->waitForState([&] {
            kids = server->children();
            return kids.size() == n;
        })) << kids.size()
            << " children";
        return kids;
    }

    // Output printed since `from`, once it ends with `tail`.
    std::string outputUntil(std::size_t from, std::string_view tail) {
        EXPECT_TRUE(server->waitFor([&] { return server->out().ends_with(tail); }))
            << harness::visible(server->out().substr(from));
        return server->out().substr(from);
    }

    std::optional<harness::Process> server;
};

}  // namespace stream_servers
