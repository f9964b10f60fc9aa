// What the sigint-defer-demo tests share: its lines, and starting it on a terminal (its output
// is then line-buffered, as in a shell) without core files.
#pragma once

#include <sys/resource.h>

#include <string>
#include <string_view>

#include "check.hpp"

namespace sigintdefer {

constexpr std::string_view kInstalled = "Successfully installed signal handler for SIGINT\n";
constexpr std::string_view kMessage = "This is a pointless message.\n";
constexpr std::string_view kArrival = "We have received signal :  2 \n";
constexpr std::string_view kExit = " exit from sighandler \n";

inline harness::Process start() {
    return harness::Process(harness::binPath("sigint-defer-demo"),
                            harness::Options{.pty = true, .limits = {{RLIMIT_CORE, 0}}});
}

// How often `text` occurs in `out`.
inline std::size_t occurrences(std::string_view out, std::string_view text) {
    std::size_t n = 0;
    for (auto at = out.find(text); at != std::string_view::npos; at = out.find(text, at + 1))
        ++n;
    return n;
}

// `count` copies of the message line.
inline std::string messages(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += kMessage;
    return text;
}

}  // namespace sigintdefer
