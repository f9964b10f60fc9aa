// What the kernel's detectors print when they catch something, for the VM's cases: the correct
// modules' cases fail on any of it, and each broken copy's case needs its own detector's.
#pragma once

#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace vmtest {

// A detector and the lines of its reports: its first line, or the line that says what it saw.
struct Detector {
    std::string_view name, pattern;
    std::regex lines;  // the pattern, compiled
};

// Every detector, the specific ones first; the last, "report", matches what any report of the
// kernel holds (a BUG:, WARNING: or call trace line), so that no report of a detector missing
// here goes unnoticed.
const std::vector<Detector> &detectors();
// The detector named NAME, or nullptr.
const Detector *detector(std::string_view name);
// The first detector whose pattern LINE holds, or nullptr when it is none's.
const Detector *detectorOf(const std::string &line);
// Whether LINE holds DETECTOR's pattern.
bool reports(const Detector &detector, const std::string &line);

}  // namespace vmtest
