// The fortune service under a long run of clients of which some give up: 1,000 exchanges one
// after another, a random third of the clients quitting at a random step. Every oracle-client
// that runs to its end gets the right fortune, and none waits past its bound.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>

#include "check.hpp"

namespace {

using harness::Fd;
using namespace std::chrono_literals;

constexpr std::uint16_t kPort = 9000;
constexpr int kClients = 1000;
constexpr int kQuitters = kClients / 3;
constexpr auto kClientBound = 3s;  // oracle-client's wait for each datagram of an answer
constexpr std::string_view kGreeting = "Welcome to ZQ. what's your name";
constexpr std::string_view kConnected = " client connected \n";
constexpr const char *kFortune[] = {
    "you will get good score in exam",
    "you will get job",
    "blah.. blah..",
};

// Where a quitting client stops: after its hello, after the greeting, after the name's length,
// after the name (before the fortune).
enum Step { kAfterHello, kAfterGreeting, kAfterLength, kAfterName, kSteps };

std::string progress(std::size_t n) {
    return " read " + std::to_string(n) + " no of bytes from n/w(Client/Server) \n";
}

std::string lengthBytes(std::size_t n) {
    const auto len = static_cast<std::int16_t>(n);
    return std::string(reinterpret_cast<const char *>(&len), sizeof len);
}

// The fortune a name gets: its bytes summed as signed 8-bit values, floored modulo 3.
std::string fortuneFor(const std::string &name) {
    int sum = 0;
    for (const char c : name)
        sum += static_cast<signed char>(c);
    return kFortune[(sum % 3 + 3) % 3];
}

// A name of 1 to 12 bytes, lower-case letters and now and then a byte of 0x80 or more.
std::string randomName(std::mt19937 &random) {
    std::uniform_int_distribution<int> length(1, 12), letter('a', 'z'), high(0x80, 0xff),
        pick(0, 9);
    std::string name(static_cast<std::size_t>(length(random)), ' ');
    for (char &c : name)
        c = static_cast<char>(pick(random) == 0 ? high(random) : letter(random));
    return name;
}

// A client played by the test that gives up at `step`; its socket closes when it returns.
void quitAt(Step step, const std::string &name) {
    const Fd client = harness::udpSocket();
    harness::sendTo(client, kPort, "");
    if (step == kAfterHello)
        return;
    const auto len = harness::recvFrom(client, kClientBound);
    const auto greeting = harness::recvFrom(client, kClientBound);
    ASSERT_TRUE(len && greeting && *greeting == kGreeting) << "a quitting client got no greeting";
    if (step == kAfterGreeting)
        return;
    harness::sendTo(client, kPort, lengthBytes(name.size()));
    if (step == kAfterLength)
        return;
    harness::sendTo(client, kPort, name);
}

TEST(OracleLoad, ThousandExchangesWithAThirdOfTheClientsQuitting) {
    HARNESS_ISOLATE(harness::kNet);
    harness::Process server(harness::binPath("oracle-server"));
    ASSERT_TRUE(server.waitForOutput(kConnected));

    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::vector<int> quits(kClients, -1);  // the step each client quits at, or -1
    for (int i = 0; i < kQuitters; i++)
        quits[static_cast<std::size_t>(i)] = i % kSteps;
    std::shuffle(quits.begin(), quits.end(), random);

    int completed = 0, quitCount[kSteps] = {};
    auto longest = std::chrono::steady_clock::duration::zero();
    auto total = longest;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kClients; i++) {
        SCOPED_TRACE("client " + std::to_string(i) + ", seed " + std::to_string(seed));
        server.out();  // keep reading, so that the server never waits on a full pipe
        const std::string name = randomName(random);
        const int quit = quits[static_cast<std::size_t>(i)];
        if (quit >= 0) {
            ASSERT_NO_FATAL_FAILURE(quitAt(static_cast<Step>(quit), name));
            ++quitCount[quit];
            continue;
        }
        const auto began = std::chrono::steady_clock::now();
        const auto result = harness::run(harness::binPath("oracle-client"), name + "\n");
        const auto took = std::chrono::steady_clock::now() - began;
        longest = std::max(longest, took);
        total += took;
        const std::string fortune = fortuneFor(name);
        ASSERT_EQ("exit status 0", result.status.describe()) << result.err;
        ASSERT_BYTES(progress(2) + progress(kGreeting.size()) + std::string(kGreeting) + "\n" +
                         progress(2) + progress(fortune.size()) + fortune + "\n",
                     result.out);
        ASSERT_LT(took, kClientBound);
        ++completed;
    }
    const auto ms = [](auto d) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    };
    printf(
        "%d clients in %lld ms (seed %u): %d completed (longest %lld ms, mean %lld ms), quit "
        "after hello %d, greeting %d, length %d, name %d\n",
        kClients, static_cast<long long>(ms(std::chrono::steady_clock::now() - start)), seed,
        completed, static_cast<long long>(ms(longest)),
        static_cast<long long>(ms(total) / std::max(completed, 1)), quitCount[kAfterHello],
        quitCount[kAfterGreeting], quitCount[kAfterLength], quitCount[kAfterName]);
    EXPECT_EQ(kClients - kQuitters, completed);
    // One fortune for every name that reached the server, those of quitters included.
    EXPECT_TRUE(server.waitFor([&] {
        return static_cast<int>(std::ranges::count(server.out(), '=')) ==
               completed + quitCount[kAfterName];
    })) << "fortune_no lines";
    EXPECT_FALSE(server.ended());
}

}  // namespace
