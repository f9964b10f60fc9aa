#include "guest-report.hpp"

#include <sstream>

namespace vm {
namespace {

const std::string kMarker = "@@VM-RESULT@@ ";

}  // namespace

Report parseReport(const std::string &text) {
    Report report;
    std::istringstream in(text);
    std::string line, current;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto at = line.find(kMarker);
        if (at == std::string::npos)
            continue;
        const std::string rest = line.substr(at + kMarker.size());
        const auto space = rest.find(' ');
        const std::string word = rest.substr(0, space);
        const std::string tail = space == std::string::npos ? "" : rest.substr(space + 1);
        if (word == "step") {
            // NAME rc N: COMMAND
            std::istringstream fields(tail);
            std::string name, rcWord;
            int rc = -1;
            if (fields >> name >> rcWord >> rc && rcWord == "rc") {
                current = name;
                report.steps[current].rc = rc;
                report.order.push_back(current);
            }
        } else if (word == "out" && !current.empty()) {
            report.steps[current].out += tail + "\n";
        } else if (word == "log" && !current.empty()) {
            report.steps[current].log += tail + "\n";
        } else if (word == "trace" && !current.empty()) {
            report.steps[current].trace += tail + "\n";
        } else if (word == "end") {
            current.clear();
        } else if (word == "unexpected") {
            report.unexpected += tail + "\n";
        } else if (word == "done") {
            report.done = true;
        } else if (word == "waiting") {
            // How long the guest has waited so far, for whoever follows it live.
        } else {
            report.values[word] = tail;
        }
    }
    return report;
}

}  // namespace vm
