// The kernel's detectors proven on every run: the case vm_faults.boot (a CTest fixture) boots
// the debug kernel once with the broken copies of the modules (vm/faults/) and lets the guest
// load them one after another (vm/guest-init.sh's faults); each case here reads that boot's
// report and fails unless its step's kernel log holds its detector's report (the patterns of
// tests/vm/detectors.cpp, which the correct modules' cases fail on) naming the broken module,
// and the guest went on to its verdict (the fixture's status is that verdict).
#include <gtest/gtest.h>

#include <unistd.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "check.hpp"
#include "detectors.hpp"
#include "guest-report.hpp"
#include "harness.hpp"
#include "kernels.hpp"

namespace {

// The kernel the broken copies are built for, and where the fixture leaves its boot.
constexpr const char *kFaultsKernel = "debug";
const std::string kBootDir = MECH_FAULTS_DIR;

struct Fault {
    const char *step;      // the guest's step that loads it (or waits for its report)
    const char *module;    // the broken copy, as the kernel names it in a stack trace
    const char *detector;  // the detector that exists for its mistake (detectors.cpp)
};

void PrintTo(const Fault &fault, std::ostream *os) {
    *os << fault.module << " caught by " << fault.detector;
}

// In the order the guest plays them.
const Fault kFaults[] = {
    {"unlocked", "pilepeek1_unlocked", "PROVE_RCU"},
    {"allocates", "pilepeek1_allocates", "DEBUG_ATOMIC_SLEEP"},
    {"sleeps", "pilepeek1_sleeps", "RCU reader sleeping"},
    {"relocks", "pilefeed_relocks", "lockdep"},
    {"relocks-hung", "pilefeed_relocks", "hung task"},
    {"nowait", "pilefeed_nowait", "KASAN"},
    {"spins", "pilefeed_spins", "soft lockup"},
};

// The step after the last fault's: the spinning insmod may be reported again there.
constexpr const char *kLastStep = "final";

std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        all.push_back(line);
    return all;
}

// Why the faults boot was not made here ("" when it was): no debug kernel, or no broken copies.
std::string unavailable() {
    const vm::Kernel &k = vm::kernel(kFaultsKernel);
    if (!k.missing.empty())
        return k.missing;
    if (access((k.modules + "/faults/pilefeed-nowait.ko").c_str(), F_OK) != 0)
        return "the broken copies of the modules are not built: build the native preset";
    return "";
}

// The faults boot's report.
vm::Report faultsBoot() {
    const std::string results = kBootDir + "/results.log";
    if (access(results.c_str(), F_OK) != 0) {
        ADD_FAILURE() << "no " << results << ": the case vm_faults.boot did not run";
        return {};
    }
    const vm::Report report = vm::parseReport(harness::readFile(results));
    EXPECT_TRUE(report.done) << "the guest did not reach its verdict; see " << kBootDir
                             << "/console.log";
    return report;
}

// The guest's complaints about the step NAME (its lines "NAME: wanted 0, got 1").
std::string complaints(const vm::Report &report, const std::string &name) {
    std::string about;
    for (const std::string &line : lines(report.unexpected))
        if (line.rfind(name + ":", 0) == 0)
            about += line + "\n";
    return about;
}

class KernelFaults : public testing::TestWithParam<Fault> {
  protected:
    void SetUp() override {
        if (const std::string why = unavailable(); !why.empty())
            HARNESS_SKIP("kernel files", why);
    }
};

// The step's log holds the detector's report and, after its first line, a line naming the
// broken module; no other detector reported anything in it.
TEST_P(KernelFaults, CaughtByItsDetector) {
    const Fault &fault = GetParam();
    const vm::Report report = faultsBoot();
    const vmtest::Detector *detector = vmtest::detector(fault.detector);
    ASSERT_NE(nullptr, detector) << "no detector " << fault.detector << " in detectors.cpp";
    const auto step = report.steps.find(fault.step);
    ASSERT_NE(step, report.steps.end()) << "the guest did not report the step " << fault.step;
    EXPECT_EQ(0, step->second.rc) << step->second.out;
    EXPECT_EQ("", complaints(report, fault.step));
    const std::string named = std::string("[") + fault.module + "]";
    bool reported = false, namesModule = false;
    for (const std::string &line : lines(step->second.log)) {
        reported = reported || vmtest::reports(*detector, line);
        namesModule = namesModule || (reported && line.find(named) != std::string::npos);
        const vmtest::Detector *other = vmtest::detectorOf(line);
        EXPECT_TRUE(!other || other == detector || other->name == "report")
            << other->name << " reported in step " << fault.step << ": " << line;
    }
    EXPECT_TRUE(reported) << "no " << fault.detector << " report in step " << fault.step << ":\n"
                          << step->second.log;
    EXPECT_TRUE(namesModule) << "the " << fault.detector << " report does not name " << named
                             << ":\n"
                             << step->second.log;
}

std::string faultName(const testing::TestParamInfo<Fault> &info) {
    std::string name = info.param.step;
    for (char &c : name)
        if (c == '-')
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Vm, KernelFaults, testing::ValuesIn(kFaults), faultName);

// Before, between and after the faults (loading pilecore, unloading each broken reader) every
// step went as it should and the kernel reported nothing; after the last, only its spinning
// insmod again.
TEST(KernelFaultsBoot, NothingElseReported) {
    if (const std::string why = unavailable(); !why.empty())
        HARNESS_SKIP("kernel files", why);
    const vm::Report report = faultsBoot();
    EXPECT_FALSE(report.order.empty());
    for (const std::string &name : report.order) {
        bool fault = false;
        for (const Fault &f : kFaults)
            fault = fault || name == f.step;
        if (fault)
            continue;
        EXPECT_EQ("", complaints(report, name));
        for (const std::string &line : lines(report.steps.at(name).log)) {
            const vmtest::Detector *d = vmtest::detectorOf(line);
            const bool spinning =
                name == kLastStep && d && (d->name == "soft lockup" || d->name == "report");
            EXPECT_TRUE(!d || spinning) << d->name << " reported in step " << name << ": " << line;
        }
    }
}

}  // namespace
