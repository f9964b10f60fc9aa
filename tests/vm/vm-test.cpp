// The kernel modules in a real kernel: each case boots one Debian kernel of the matrix
// (cmake/KernelModules.cmake) under qemu (vm/vm-run.sh), runs one scenario of vm/guest-init.sh
// in it and checks what the guest reported: every step's kernel-log lines against
// tests/vm/golden/<step>.out, the writer's delay, that no reader ever saw a half-updated node,
// and that no detector of the kernel reported anything (tests/vm/detectors.cpp: BUG, WARNING,
// Oops, lockup, hung task, lockdep, KASAN or RCU reports).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "check.hpp"
#include "detectors.hpp"
#include "guest-report.hpp"
#include "harness.hpp"
#include "kernels.hpp"

namespace {

using namespace std::chrono_literals;

// A run takes about a minute under TCG; the machine may be loaded and slower by far.
constexpr harness::Duration kVmTimeout = 16min;
// The writer holds the node (30, 300) for 10000 jiffies, 40 s at the kernel's HZ of 250; the
// guest measures whole seconds, so one may be lost at either end.
constexpr int kDelaySeconds = 40;
constexpr int kSecondsSlack = 1;
// Loading the writer again finds no node (30, 300): no delay, only grace periods.
constexpr int kNoDelaySeconds = 10;
constexpr int kClockFields = 6;
// mq-signal-watch ends with the error number: EBUSY from a registration already held.
constexpr int kEbusyStatus = 16;
// How much of the kernel console to show when the guest gives no verdict.
constexpr std::size_t kConsoleTail = 4000;

// Reports the kernel makes at any moment about the emulated machine's timing (a loaded host
// slows TCG down; the random generator is ready once it has gathered enough timing jitter,
// after boot on the PREEMPT_RT kernel): they are not the step's doing, so they are left out of
// the compared lines (and still scanned for trouble).
constexpr std::array<std::string_view, 3> kTimingNoise = {
    ">clocksource: ", ">hrtimer: interrupt took ", ">random: crng init done"};

bool timingNoise(const std::string &line) {
    for (const std::string_view noise : kTimingNoise)
        if (line.find(noise) != std::string::npos)
            return true;
    return false;
}

using vm::Kernel;
using vm::Report;

// The matrix, and a kernel from outside it for one run: MECH_VM_KERNEL=NAME:ARCH:MODELS:DIR:
// MODULES (MODELS comma-separated; DIR holds `kernel` and `busybox`). The packages' tests
// (tests/packages/) boot a Debian root's own kernel so, with the modules DKMS built there.
const std::vector<Kernel> &kernels() {
    static const std::vector<Kernel> list = [] {
        std::vector<Kernel> all = vm::kernels();
        const char *extraKernel = std::getenv("MECH_VM_KERNEL");
        if (extraKernel == nullptr || *extraKernel == '\0')
            return all;
        std::vector<std::string> fields;
        std::istringstream in(extraKernel);
        for (std::string field; std::getline(in, field, ':');)
            fields.push_back(field);
        if (fields.size() != 5)
            throw std::invalid_argument("MECH_VM_KERNEL is not NAME:ARCH:MODELS:DIR:MODULES");
        Kernel extra{fields[0], fields[1], {}, fields[3], fields[4], ""};
        std::istringstream models(fields[2]);
        for (std::string model; std::getline(models, model, ',');)
            extra.models.push_back(model);
        all.push_back(extra);
        return all;
    }();
    return list;
}

const Kernel &kernel(std::string_view name) {
    for (const Kernel &k : kernels())
        if (k.name == name)
            return k;
    return vm::kernel(name);
}

// Each step's kernel-log lines without the timing noise above.
void dropTimingNoise(Report &report) {
    for (auto &[name, step] : report.steps) {
        std::istringstream in(step.log);
        std::string kept;
        for (std::string line; std::getline(in, line);)
            if (!timingNoise(line))
                kept += line + "\n";
        step.log = kept;
    }
}

std::string clockReader(const std::string &arch) {
    return vm::guestProgram("clock-reader", arch);
}

bool exists(const std::string &path) {
    return access(path.c_str(), F_OK) == 0;
}

// Why a kernel cannot be booted with its modules here ("" when it can).
std::string unavailable(const Kernel &k) {
    if (!k.missing.empty())
        return k.missing;
    for (const std::string &need : {k.dir + "/kernel", k.modules + "/pilecore.ko"})
        if (!exists(need))
            return "missing " + need + ": run scripts/install.sh and build";
    return "";
}

// Boots one VM, with `programs` (static, for the guest) in its /bin, and returns what the
// guest reported; fails the test when the guest gave no verdict or a bad one.
Report boot(const Kernel &k, const std::string &preempt, const std::string &scenario,
            const harness::TempDir &dir, const std::vector<std::string> &programs = {}) {
    std::vector<std::string> args = {k.arch, preempt, scenario, dir.path(), k.modules, k.dir};
    if (!clockReader(k.arch).empty() || !programs.empty())
        args.push_back(clockReader(k.arch));
    args.insert(args.end(), programs.begin(), programs.end());
    harness::Process vm(vm::runner(),
                        {.args = args,
                         .env = {"MECH_TIMEOUT_SCALE=" + std::to_string(harness::timeoutScale())},
                         .stdinNull = true});
    const auto status = vm.wait(kVmTimeout);
    const std::string console =
        exists(dir / "console.log") ? harness::readFile(dir / "console.log") : "";
    const std::string results =
        exists(dir / "results.log") ? harness::readFile(dir / "results.log") : "";
    Report report = vm::parseReport(results);
    dropTimingNoise(report);
    if (!status) {
        ADD_FAILURE() << "the VM did not end within the timeout";
    } else {
        EXPECT_EQ("exit status 0", status->describe())
            << "guest verdict (1: a command ended unexpectedly, 2: no verdict)\n"
            << vm.err() << report.unexpected << "console tail:\n"
            << console.substr(console.size() > kConsoleTail ? console.size() - kConsoleTail : 0);
    }
    EXPECT_TRUE(report.done) << "the guest did not finish its scenario";
    EXPECT_EQ("", report.unexpected);
    // The guest's waits were scaled as ours are.
    const auto scale = report.values.find("timeout-scale");
    EXPECT_EQ(std::to_string(harness::timeoutScale()),
              scale == report.values.end() ? "(not reported)" : scale->second)
        << "the guest's timeout scale";
    // No detector reported anything.
    for (const std::string *text : {&console, &results}) {
        std::istringstream in(*text);
        std::string line;
        while (std::getline(in, line))
            if (const vmtest::Detector *d = vmtest::detectorOf(line))
                ADD_FAILURE() << d->name << " in the kernel log: " << line;
    }
    return report;
}

struct Config {
    std::string kernel, preempt;
};

void PrintTo(const Config &config, std::ostream *os) {
    *os << config.kernel << " preempt=" << config.preempt;
}

class KernelModules : public testing::TestWithParam<Config> {
  protected:
    void SetUp() override {
        const std::string why = unavailable(kernel(GetParam().kernel));
        if (!why.empty())
            HARNESS_SKIP("kernel files", why);
    }
};

// Every step of the module scenario, in order, with its log lines as golden files; "fail"
// steps are refused loads or unloads.
TEST_P(KernelModules, LoadUnloadWindowAndLog) {
    harness::TempDir dir;
    const Report report = boot(kernel(GetParam().kernel), GetParam().preempt, "modules", dir);
    const std::vector<std::pair<std::string, bool>> expected = {
        {"nocore-pilepeek1", false},
        {"nocore-pilepeek2", false},
        {"nocore-pilefeed", false},
        {"pilecore-load", true},
        {"pilepeek1-load", true},
        {"pilepeek2-load", true},
        {"pilecore-busy", false},
        {"pilepeek1-unload", true},
        {"pilepeek2-unload", true},
        {"window", true},
        {"window-end", true},
        {"pilepeek1-unload-window", true},
        {"pilefeed-busy", false},
        {"pilepeek2-after", true},
        {"pilefeed-unload", true},
        {"pilefeed-again", true},
        {"pilepeek2-unload-after", true},
        {"pilefeed-unload-again", true},
        {"pilecore-unload", true},
        {"pilecore-reload", true},
        {"pilepeek1-fresh", true},
        {"pilepeek1-unload-fresh", true},
        {"pilecore-unload-again", true},
    };
    for (const auto &[name, succeeds] : expected) {
        SCOPED_TRACE("step " + name);
        const auto step = report.steps.find(name);
        ASSERT_NE(step, report.steps.end()) << "the guest did not report it";
        if (succeeds)
            EXPECT_EQ(0, step->second.rc) << step->second.out;
        else
            EXPECT_NE(0, step->second.rc) << step->second.out;
        EXPECT_BYTES(harness::golden("vm/golden/" + name).out, step->second.log);
    }

    // pilecore is held by both readers while they are loaded, and gone with its importers.
    ASSERT_TRUE(report.steps.count("modules-both"));
    EXPECT_TRUE(std::regex_search(
        report.steps.at("modules-both").out,
        std::regex(R"(^pilecore \d+ 2 pilepeek[12],pilepeek[12],)", std::regex::multiline)))
        << report.steps.at("modules-both").out;
    ASSERT_TRUE(report.steps.count("modules-none"));
    EXPECT_EQ("", report.steps.at("modules-none").out);

    // The first load of the writer spans its delay; the second has none.
    ASSERT_TRUE(report.values.count("window-seconds"));
    ASSERT_TRUE(report.values.count("again-seconds"));
    EXPECT_GE(std::stoi(report.values.at("window-seconds")), kDelaySeconds - kSecondsSlack);
    EXPECT_LT(std::stoi(report.values.at("again-seconds")), kNoDelaySeconds);

    // No reader ever printed a node with a new data_item1 and an old data_item2 (or any pair
    // that was never in the list).
    const std::regex nodeLine(R"(data_item1 = (-?\d+)\tdata_item2 = (-?\d+))");
    int nodes = 0;
    for (const auto &[name, step] : report.steps) {
        for (auto it = std::sregex_iterator(step.log.begin(), step.log.end(), nodeLine);
             it != std::sregex_iterator(); ++it) {
            const int one = std::stoi((*it)[1]), two = std::stoi((*it)[2]);
            const bool original = one % 10 == 0 && one >= 10 && one <= 40 && two == one * 10;
            EXPECT_TRUE(original || (one == 777 && two == 888))
                << "step " << name << " printed (" << one << ", " << two << ")";
            ++nodes;
        }
    }
    EXPECT_EQ(20, nodes);  // five walks of four nodes
}

// Every kernel of the matrix (and the one of MECH_VM_KERNEL) with each of its preemption models.
std::vector<Config> configs() {
    std::vector<Config> all;
    for (const Kernel &k : kernels())
        for (const std::string &model : k.models)
            all.push_back({k.name, model});
    return all;
}

// A case's name: the kernel and the model, every other character an underscore.
std::string configName(const testing::TestParamInfo<Config> &info) {
    std::string name = info.param.kernel + "_" + info.param.preempt;
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Vm, KernelModules, testing::ValuesIn(configs()), configName);

class ClockDevice : public testing::TestWithParam<std::string> {};

// clock-reader against the real /dev/clock: without the device one perror line and status 1;
// with it six lines whose bytes are the time read just before or just after it.
TEST_P(ClockDevice, ReaderShowsTheTime) {
    const Kernel &k = kernel(GetParam());
    if (!unavailable(k).empty())
        HARNESS_SKIP("kernel files", unavailable(k));
    if (clockReader(k.arch).empty())
        HARNESS_SKIP("kernel files", "the clock-reader target is not part of this build");
    harness::TempDir dir;
    const Report report = boot(k, "none", "clock", dir);
    ASSERT_TRUE(report.steps.count("clock-absent") && report.steps.count("clock-reader"));
    EXPECT_EQ(1, report.steps.at("clock-absent").rc);
    EXPECT_BYTES("clock:: No such file or directory\n", report.steps.at("clock-absent").out);

    // The guest's time as "SS MM HH dd mm yy" just before and just after the reader ran.
    std::vector<std::string> accepted;
    for (const char *when : {"clock-before", "clock-after"}) {
        ASSERT_TRUE(report.values.count(when)) << when;
        std::istringstream in(report.values.at(when));
        std::string lines;
        for (int i = 0; i < kClockFields; ++i) {
            int value = 0;
            in >> value;
            char line[32];
            std::snprintf(line, sizeof line, " .... %x....\n", static_cast<unsigned>(value));
            lines += line;
        }
        accepted.push_back(lines);
    }
    const std::string &out = report.steps.at("clock-reader").out;
    EXPECT_TRUE(out == accepted[0] || out == accepted[1]) << "reader:\n"
                                                          << out << "time before:\n"
                                                          << accepted[0] << "time after:\n"
                                                          << accepted[1];
}

// Debian 12's default kernel of each architecture: the kernels of the matrix named after theirs.
std::vector<std::string> defaultKernels() {
    std::vector<std::string> names;
    for (const Kernel &k : vm::kernels())
        if (k.name == k.arch)
            names.push_back(k.name);
    return names;
}

INSTANTIATE_TEST_SUITE_P(Vm, ClockDevice, testing::ValuesIn(defaultKernels()),
                         [](const auto &info) { return info.param; });

// The 32-bit message queue watchers in a real i686 kernel, where the emulator that runs them
// on this host has no mq_notify: mq-signal-watch reports each of two mq-sender runs on one
// SIGUSR1 each and ends on a SIGUSR1 sent by hand; mq-thread-watch reports every message
// written to "/my_mq" from its notification threads.
TEST(PosixMqWatchers, NotificationsIn32BitPrograms) {
    const Kernel &k = kernel("i686");
    if (!unavailable(k).empty())
        HARNESS_SKIP("kernel files", unavailable(k));
    std::vector<std::string> programs;
    for (const char *name : {"mq-signal-watch", "mq-thread-watch", "mq-sender", "my-mq-writer"})
        programs.push_back(vm::guestProgram(name, k.arch));
    for (const std::string &program : programs)
        if (program.empty())
            HARNESS_SKIP("kernel files",
                         "the message queue programs are not all part of this build");
    harness::TempDir dir;
    const Report report = boot(k, "none", "mq", dir, programs);

    // Registered for SIGUSR1 (10), then for a thread (2), each by its watcher.
    const struct {
        const char *step, *pattern;
    } registrations[] = {
        {"mymq-registered", R"(^QSIZE:0 +NOTIFY:0 +SIGNO:10 +NOTIFY_PID:[1-9]\d* *\n$)"},
        {"my_mq-registered", R"(^QSIZE:0 +NOTIFY:2 +SIGNO:0 +NOTIFY_PID:[1-9]\d* *\n$)"},
    };
    for (const auto &r : registrations) {
        ASSERT_TRUE(report.steps.count(r.step)) << r.step;
        EXPECT_TRUE(std::regex_match(report.steps.at(r.step).out, std::regex(r.pattern)))
            << r.step << ": " << report.steps.at(r.step).out;
    }
    for (const char *name : {"sender-1", "sender-2"}) {
        ASSERT_TRUE(report.steps.count(name)) << name;
        EXPECT_EQ(0, report.steps.at(name).rc);
        EXPECT_BYTES("", report.steps.at(name).out);
    }
    ASSERT_TRUE(report.steps.count("signal-watch"));
    EXPECT_EQ(kEbusyStatus, report.steps.at("signal-watch").rc);
    EXPECT_BYTES(harness::golden("vm/golden/signal-watch").out,
                 report.steps.at("signal-watch").out);
    const auto value = [&](const std::string &name) {
        const auto it = report.values.find(name);
        return it == report.values.end() ? "(not reported)" : it->second;
    };
    EXPECT_EQ("mq_notify: Device or resource busy", value("signal-watch-err"));

    for (const auto &[name, out] :
         {std::pair{"writer-one", "my-mq-writer: sent 1 message to /my_mq\n"},
          std::pair{"writer-three", "my-mq-writer: sent 3 messages to /my_mq\n"}}) {
        ASSERT_TRUE(report.steps.count(name)) << name;
        EXPECT_EQ(0, report.steps.at(name).rc);
        EXPECT_BYTES(out, report.steps.at(name).out);
    }
    // Two notification threads may drain at once, so the lines are compared in sorted order.
    const std::string terminal =
        exists(dir / "terminal.log") ? harness::readFile(dir / "terminal.log") : "";
    std::vector<std::string> lines;
    std::istringstream in(terminal);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line + "\n");
    std::sort(lines.begin(), lines.end());
    std::string sorted;
    for (const std::string &line : lines)
        sorted += line;
    EXPECT_BYTES(harness::golden("vm/golden/thread-watch").out, sorted);
    EXPECT_EQ("", value("thread-watch-err"));
    // Left waiting: the main thread and the C library's helper, every notification thread ended.
    EXPECT_EQ("2 2", value("thread-watch-threads"));
}

}  // namespace
