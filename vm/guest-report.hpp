// The C++ reader of the guest's report (results.log; its writer and grammar: vm/guest-init.sh).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vm {

struct Step {
    int rc = -1;
    std::string out, log;  // the command's output and the kernel log lines, '\n' after each
    std::string trace;     // the kernel's traced events, "SECONDS TEXT\n" each
};

struct Report {
    std::map<std::string, Step> steps;
    std::vector<std::string> order;             // the steps' names as they came
    std::map<std::string, std::string> values;  // "window-seconds" -> "41", ...
    std::string unexpected;                     // the guest's own complaints, '\n' after each
    bool done = false;                          // the guest reported its last record
};

// The records of a whole report; lines without the marker are passed over.
Report parseReport(const std::string &text);

}  // namespace vm
