// tour-pty LABEL DIR -- PROGRAM [ARGS...]
// Runs PROGRAM with standard input and output on a pseudo-terminal (as it would run from a
// shell, so its output is line-buffered) and standard error on a pipe. Every line it prints, or
// is typed into it, is shown on our standard output as one tour line (below), each written with
// one write(2), so the lines of several programs interleave in the order they happened. A line
// still unfinished after a short pause (a prompt) is shown as it is and its rest follows on a
// line marked "…". Our standard input is passed on to the program; its end becomes end-of-file
// (^D) on the terminal. DIR receives LABEL.pid, and the raw bytes of LABEL.out and LABEL.err
// for scenarios that wait for text. Every shown line is also appended to DIR/timeline, which
// all the tour-pty of a play share, so that a scenario can check the order of lines across its
// programs. A line enters the timeline before its bytes reach LABEL.out or LABEL.err: whatever
// a scenario saw there and then caused comes later in the timeline.
//
// The tour line, written here alone; its readers are tour/lib.sh's tour_line (bash) and
// tour/trace.pl's Trace::Read (Perl):
//   LINE   = TIME "s" "  " LABEL PAD " " MARK [ "…" ] " " TEXT
//   TIME   = seconds since TOUR_T0 (ns since the epoch), printf "%7.2f"
//   LABEL  = the scenario's name for the program (no blank); PAD = spaces up to 8 columns
//   MARK   = "$"  the command line, ending "   (pid N)", once the program runs
//          | "|"  a line of its standard output
//          | "!"  a line of its standard error (or tour-pty's own failure to start it)
//          | "<"  a line typed into its standard input, shown before the program gets it
//          | "="  how it ended: Status::describe(), "exit status N" or
//                 "killed by signal N (Name)", with ", core dumped" when it did
//   "…"    = TEXT is the rest of a line shown before, unfinished (a prompt)
//   TEXT   = the line's bytes without its newline, control bytes but tab shown as \xNN
// The tour's own lines (tour/lib.sh) stand between them and start with nine blanks: a note
// "── TEXT", a signal "⚡ kill -SIG PID   (LABEL)", a sleep "⏸ LABEL sleeps in the kernel in
// FN   (/proc/PID/wchan)"; tour/tour heads each scenario with "━━━ NAME: SUMMARY"; in traced
// plays only, the page marks "@page ..." (their grammar beside `note` in tour/lib.sh).
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "harness.hpp"

namespace {

using namespace std::chrono_literals;
constexpr auto kPromptPause = 150ms;
// What a program may print for the tour to show: one that floods its output is stopped there.
constexpr std::size_t kMaxShown = std::size_t{1} << 20;

std::string label;
int timeline = -1;  // DIR/timeline, opened for appending

double secondsSinceStart() {
    const char *t0 = std::getenv("TOUR_T0");
    const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    const long long start = t0 ? std::atoll(t0) : now;
    return static_cast<double>(now - start) / 1e9;
}

void show(char mark, std::string_view text, bool continued = false) {
    std::string line;
    char head[64];
    std::snprintf(head, sizeof head, "%7.2fs  %-8s %c%s ", secondsSinceStart(), label.c_str(), mark,
                  continued ? "…" : "");
    line += head;
    for (const unsigned char c : text) {
        if (c < 0x20 && c != '\t') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            line += hex;
        } else {
            line += static_cast<char>(c);
        }
    }
    line += '\n';
    if (timeline >= 0)  // O_APPEND: each line lands whole, after every line written before it
        (void)!::write(timeline, line.data(), line.size());
    (void)!::write(STDOUT_FILENO, line.data(), line.size());
}

// Splits one output stream into shown lines.
struct Stream {
    char mark;
    std::ofstream raw;
    std::size_t taken = 0;     // bytes of the buffer already handled
    std::string pending = {};  // start of an unfinished line
    bool pendingShown = false;
    std::chrono::steady_clock::time_point pendingSince = {};

    void feed(const std::string &all) {
        if (all.size() == taken)
            return;
        const std::string_view fresh(all.data() + taken, all.size() - taken);
        taken = all.size();
        for (const char c : fresh) {
            if (c == '\n') {
                show(mark, pending, pendingShown);
                pending.clear();
                pendingShown = false;
            } else {
                if (pending.empty())
                    pendingSince = std::chrono::steady_clock::now();
                pending += c;
            }
        }
        // Shown first, then written: see the timeline above.
        raw.write(fresh.data(), static_cast<std::streamsize>(fresh.size()));
        raw.flush();
    }
    void flushPrompt(bool force) {
        if (pending.empty())
            return;
        if (!force && std::chrono::steady_clock::now() - pendingSince < kPromptPause)
            return;
        show(mark, pending, pendingShown);
        pending.clear();
        pendingShown = true;
    }
};

}  // namespace

int main(int argc, char **argv) {
    if (argc < 5 || std::strcmp(argv[3], "--") != 0) {
        std::fprintf(stderr, "usage: tour-pty LABEL DIR -- PROGRAM [ARGS...]\n");
        return 2;
    }
    // Typing to a program that has ended fails with EPIPE rather than ending us.
    std::signal(SIGPIPE, SIG_IGN);
    label = argv[1];
    const std::string dir = argv[2];
    timeline = ::open((dir + "/timeline").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    harness::Options options;
    options.pty = true;
    for (int i = 5; i < argc; ++i)
        options.args.emplace_back(argv[i]);

    std::string command = argv[4];
    for (const auto &a : options.args)
        command += " " + a;

    try {
        harness::Process proc(argv[4], options);
        std::ofstream(dir + "/" + label + ".pid") << proc.pid() << "\n";
        show('$', command + "   (pid " + std::to_string(proc.pid()) + ")");

        // Our input goes to the program; its end is end-of-file on the terminal. What is typed
        // is shown, a line at a time, before the program gets it: shown after, it could come
        // after the program's answer, or never, when the program ends at once ("quit") and we
        // end with it before this thread has run again.
        std::thread input([&proc] {
            char buf[4096];
            ssize_t n;
            try {
                while ((n = ::read(STDIN_FILENO, buf, sizeof buf)) > 0) {
                    const std::string_view typed(buf, static_cast<std::size_t>(n));
                    for (std::string_view rest = typed; !rest.empty();) {
                        const auto nl = rest.find('\n');
                        show('<', rest.substr(0, nl));
                        rest.remove_prefix(nl == rest.npos ? rest.size() : nl + 1);
                    }
                    proc.write(typed);
                }
                proc.closeInput();
            } catch (...) {
                // The program has gone; there is no one left to type to.
            }
        });
        input.detach();

        Stream out{'|', std::ofstream(dir + "/" + label + ".out", std::ios::binary)};
        Stream err{'!', std::ofstream(dir + "/" + label + ".err", std::ios::binary)};
        for (;;) {
            const bool open = proc.pump(50ms);
            out.feed(proc.out());
            err.feed(proc.err());
            out.flushPrompt(false);
            err.flushPrompt(false);
            if (out.taken + err.taken > kMaxShown) {
                proc.signalGroup(SIGKILL);
                show('!', "tour-pty: stopped at the output limit: more than 1 MiB printed");
                break;
            }
            if (!open || proc.ended())
                break;
        }
        const auto status = proc.wait(std::chrono::hours(24));
        out.feed(proc.out());
        err.feed(proc.err());
        out.flushPrompt(true);
        err.flushPrompt(true);
        const std::string ending = status->describe();
        show('=', ending);
        std::ofstream(dir + "/" + label + ".status") << ending << "\n";
        std::fflush(nullptr);
        // The input thread may still block in read; end without waiting for it.
        std::_Exit(0);
    } catch (const std::exception &e) {
        show('!', std::string("tour-pty: ") + e.what());
        return 1;
    }
}
