// signal-flags-demo: the phases it goes through as SIGINT, SIGQUIT and SIGHUP come, told from
// its whole output. The program floods standard output, so the output is taken as it comes and
// kept only as runs of equal lines; every line must be one of the five the program prints, in
// one piece.
#include <sys/resource.h>

#include <csignal>

#include "check.hpp"

namespace {

using namespace std::chrono_literals;

constexpr std::string_view kPhaseOne = " I am happy now , I will do same work forever";
constexpr std::string_view kPhaseTwo = " I am doing bad work for my survival";
constexpr std::string_view kPhaseThree = " I am going to die some day ";
constexpr std::string_view kHup = " This is handler for signal no one ";
constexpr std::string_view kInt = " I am now handling signal no 2 ";
constexpr std::string_view kQuit = " I am now handling signal no 3 ";
// Lines a phase must keep printing after a signal to count as still running.
constexpr std::size_t kStillRunning = 2000;
constexpr auto kPhaseTimeout = 30s;

struct LineRun {
    std::string line;  // without its newline
    std::size_t count;
    bool operator==(const LineRun &) const = default;
};

std::string describe(const std::vector<LineRun> &runs) {
    std::string text;
    for (const auto &r : runs)
        text += "  " + std::to_string(r.count) + " x \"" + harness::visible(r.line) + "\"\n";
    return text;
}

class SignalFlagsDemo : public testing::Test {
  protected:
    void SetUp() override {
        // No core file, should SIGQUIT ever end it.
        demo.emplace(harness::binPath("signal-flags-demo"),
                     harness::Options{.limits = {{RLIMIT_CORE, 0}}});
    }

    // Take what has arrived and fold it into runs.
    void take() {
        partial += demo->takeOut();
        std::size_t from = 0;
        for (std::size_t nl; (nl = partial.find('\n', from)) != std::string::npos; from = nl + 1) {
            const std::string_view line(partial.data() + from, nl - from);
            if (!runs.empty() && runs.back().line == line)
                ++runs.back().count;
            else
                runs.push_back({std::string(line), 1});
        }
        partial.erase(0, from);
    }

    // Follow the output until there are at least `minRuns` runs and the last one is `line`,
    // at least `count` times.
    bool until(std::size_t minRuns, std::string_view line, std::size_t count) {
        return demo->waitFor(
            [&] {
                take();
                return runs.size() >= minRuns && runs.back().line == line &&
                       runs.back().count >= count;
            },
            kPhaseTimeout);
    }

    // Send a signal and wait until its handler's line has come and, after it, `next` at
    // least kStillRunning times; only then is the next signal sent, so none is merged with a
    // signal still pending.
    void send(int sig, std::string_view next) {
        const std::size_t before = runs.size();
        demo->signal(sig);
        ASSERT_TRUE(until(before + 2, next, kStillRunning))
            << "after signal " << sig << ", waiting for \"" << next << "\":\n"
            << describe(runs);
    }

    // End it with SIGTERM, which it does not catch, and compare the runs, taking the counts of
    // the flooding lines from what came (each at least `atLeast`).
    void finish(std::vector<LineRun> expected) {
        demo->signal(SIGTERM);
        const auto status = demo->wait(kPhaseTimeout);
        ASSERT_TRUE(status);
        EXPECT_EQ("killed by signal 15 (Terminated)", status->describe());
        take();
        EXPECT_TRUE(partial.empty() || std::string_view(kPhaseThree).starts_with(partial))
            << "cut off mid-line: \"" << harness::visible(partial) << "\"";
        EXPECT_BYTES("", demo->err());
        ASSERT_EQ(expected.size(), runs.size()) << describe(runs);
        for (std::size_t i = 0; i < runs.size(); ++i) {
            if (expected[i].count == 0) {  // a flooding line: as often as it came
                EXPECT_GE(runs[i].count, 1u) << describe(runs);
                expected[i].count = runs[i].count;
            }
        }
        EXPECT_EQ(describe(expected), describe(runs));
    }

    std::optional<harness::Process> demo;
    std::string partial;  // an unfinished last line
    std::vector<LineRun> runs;
};

TEST_F(SignalFlagsDemo, SigintStaysInPhaseOneThenSighupGivesOnePhaseTwoLine) {
    ASSERT_TRUE(until(1, kPhaseOne, 1)) << describe(runs);  // the handlers are installed
    send(SIGINT, kPhaseOne);
    send(SIGHUP, kPhaseThree);
    finish({{std::string(kPhaseOne), 0},
            {std::string(kInt), 1},
            {std::string(kPhaseOne), 0},
            {std::string(kHup), 1},
            {std::string(kPhaseTwo), 1},
            {std::string(kPhaseThree), 0}});
}

TEST_F(SignalFlagsDemo, SigquitIsHandledLikeSigintAndSighupAgainChangesNothing) {
    ASSERT_TRUE(until(1, kPhaseOne, 1)) << describe(runs);
    send(SIGHUP, kPhaseTwo);
    send(SIGHUP, kPhaseTwo);  // stays in phase two
    send(SIGQUIT, kPhaseThree);
    send(SIGHUP, kPhaseThree);
    send(SIGINT, kPhaseThree);
    finish({{std::string(kPhaseOne), 0},
            {std::string(kHup), 1},
            {std::string(kPhaseTwo), 0},
            {std::string(kHup), 1},
            {std::string(kPhaseTwo), 0},
            {std::string(kQuit), 1},
            {std::string(kPhaseThree), 0},
            {std::string(kHup), 1},
            {std::string(kPhaseThree), 0},
            {std::string(kInt), 1},
            {std::string(kPhaseThree), 0}});
}

}  // namespace
