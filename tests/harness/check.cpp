#include "check.hpp"

#include <filesystem>

namespace harness {

// A failed case keeps its temporary folders (see TempDir).
const bool caseFailedHooked = [] {
    caseFailed = [] { return testing::Test::HasFailure(); };
    return true;
}();

testing::AssertionResult sameBytes(const char *expectedExpr, const char *actualExpr,
                                   std::string_view expected, std::string_view actual) {
    if (expected == actual)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << actualExpr << " differs from " << expectedExpr << ":\n"
                                       << sideBySide(expected, actual);
}

Golden golden(std::string_view name) {
    const std::string base = HARNESS_TESTS_DIR "/" + std::string(name);
    if (!std::filesystem::exists(base + ".out"))
        throw std::runtime_error("golden file missing: " + base + ".out");
    Golden g{readFile(base + ".out"), readFile(base + ".err"), readFile(base + ".status")};
    while (!g.status.empty() && (g.status.back() == '\n' || g.status.back() == ' '))
        g.status.pop_back();
    if (g.status.empty())
        g.status = "exit status 0";
    return g;
}

testing::AssertionResult matchesGolden(const char *resultExpr, const char *, const Result &result,
                                       std::string_view name) {
    const Golden g = golden(name);
    auto failure = testing::AssertionFailure();
    bool ok = true;
    if (g.out != result.out) {
        ok = false;
        failure << resultExpr << " standard output differs from " << name << ".out:\n"
                << sideBySide(g.out, result.out);
    }
    if (g.err != result.err) {
        ok = false;
        failure << resultExpr << " standard error differs from " << name << ".err:\n"
                << sideBySide(g.err, result.err);
    }
    if (g.status != result.status.describe()) {
        ok = false;
        failure << resultExpr << " status: expected " << g.status << ", actual "
                << result.status.describe() << "\n";
    }
    return ok ? testing::AssertionSuccess() : failure;
}

}  // namespace harness
