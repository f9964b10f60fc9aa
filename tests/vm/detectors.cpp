#include "detectors.hpp"

namespace vmtest {

namespace {

struct Row {
    std::string_view name, pattern;
};

}  // namespace

const std::vector<Detector> &detectors() {
    static const Row rows[] = {
        {"PROVE_RCU", R"(WARNING: suspicious RCU usage|RCU-list traversed)"},
        {"lockdep", R"(possible recursive locking|possible circular locking|)"
                    R"(inconsistent lock state|DEBUG_LOCKS_WARN_ON)"},
        {"KASAN", R"(BUG: KASAN:)"},
        {"DEBUG_ATOMIC_SLEEP",
         R"(BUG: sleeping function called from invalid context|BUG: scheduling while atomic)"},
        {"RCU reader sleeping",
         R"(Voluntary context switch within RCU read-side critical section)"},
        {"RCU stall", R"(detected stall|self-detected stall|INFO: rcu|kthread starved)"},
        {"soft lockup", R"(soft lockup)"},
        {"hard lockup", R"(hard LOCKUP)"},
        {"hung task", R"(blocked for more than)"},
        {"oops", R"(Oops|general protection fault|Kernel panic|UBSAN)"},
        {"report", R"(BUG:|WARNING:|INFO: lockdep|Call Trace:)"},
    };
    static const std::vector<Detector> list = [] {
        std::vector<Detector> compiled;
        for (const Row &row : rows)
            compiled.push_back({row.name, row.pattern, std::regex(std::string(row.pattern))});
        return compiled;
    }();
    return list;
}

const Detector *detector(std::string_view name) {
    for (const Detector &d : detectors())
        if (d.name == name)
            return &d;
    return nullptr;
}

bool reports(const Detector &detector, const std::string &line) {
    return std::regex_search(line, detector.lines);
}

const Detector *detectorOf(const std::string &line) {
    for (const Detector &d : detectors())
        if (reports(d, line))
            return &d;
    return nullptr;
}

}  // namespace vmtest
