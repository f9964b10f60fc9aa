#include "harness.hpp"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <net/if.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char **environ;

namespace harness {

// The descriptors between a Process and its program while it starts: a pseudo-terminal (the
// master, and the name of its other side) or pipes for standard input and output, a pipe for
// standard error, and the exec report pipe, which exec closes or the child fills with why it
// could not start.
struct Channels {
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1}, report[2] = {-1, -1};
    int master = -1;
    std::string slaveName = {};
};

namespace {

constexpr uid_t kNobodyUid = 65534;
constexpr unsigned long kUnusedBase = 60000;  // unused uids where only a range is mapped
constexpr gid_t kNogroupGid = 65534;
constexpr std::size_t kReadChunk = 65536;
constexpr int kReadChunks = 16;                           // read at one go, at most
constexpr std::size_t kMaxOutput = std::size_t{4} << 20;  // what a program may print in all
// How often waitFor() asks again when no output comes, for conditions on more than the output
// (the program's state in /proc, a file).
constexpr Duration kPollSlice{50};

using Clock = std::chrono::steady_clock;

std::string errnoText(const std::string &what) {
    return what + ": " + std::strerror(errno);
}

[[noreturn]] void fail(const std::string &what) {
    throw std::runtime_error(errnoText(what));
}

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<Duration>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// The process groups of the programs that are running, for killRunningGroups().
constexpr int kMaxGroups = 256;
std::atomic<pid_t> liveGroups[kMaxGroups];

void trackGroup(pid_t pgid) {
    for (auto &slot : liveGroups) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, pgid))
            return;
    }
}

void untrackGroup(pid_t pgid) {
    for (auto &slot : liveGroups) {
        pid_t mine = pgid;
        if (slot.compare_exchange_strong(mine, 0))
            return;
    }
}

// Read what is waiting on fd into buf, at most kReadChunks chunks (a program that writes as
// fast as we read would otherwise keep us here); returns false at end of output (or a pty's
// EIO).
bool readInto(int fd, std::string &buf) {
    char chunk[kReadChunk];
    for (int chunks = 0; chunks < kReadChunks;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            buf.append(chunk, static_cast<std::size_t>(n));
            ++chunks;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        return false;
    }
    return true;
}

void setNonblocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

void closeFd(int &fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Make a copy of the program that nobody may run, whatever the permissions of the tree the
// build lives in.
std::string copyForNobody(const std::string &path, std::string &tmpDir) {
    char dir[] = "/tmp/harness-nobody-XXXXXX";
    if (!::mkdtemp(dir))
        fail("mkdtemp");
    ::chmod(dir, 0755);
    tmpDir = dir;
    const std::string copy = tmpDir + "/" + std::filesystem::path(path).filename().string();
    std::filesystem::copy_file(path, copy);
    ::chmod(copy.c_str(), 0755);
    return copy;
}

// A 32-bit program on a kernel that cannot run one is started under the emulator.
bool needsEmulator(const std::string &path) {
    if (std::string_view(HARNESS_EMULATOR).empty())
        return false;
    char ident[5] = {};
    std::ifstream(path, std::ios::binary).read(ident, sizeof ident);
    return std::memcmp(ident,
                       "\x7f"
                       "ELF",
                       4) == 0 &&
           ident[4] == 1;  // ELFCLASS32
}

// In the child between fork and exec: report a failure through the exec pipe and end.
[[noreturn]] void childFail(int reportFd, const char *what) {
    const int err = errno;
    char msg[256];
    const int len = std::snprintf(msg, sizeof msg, "%s: %s", what, std::strerror(err));
    if (len > 0)
        (void)!::write(reportFd, msg, static_cast<std::size_t>(len));
    ::_exit(127);
}

// What the child executes: the program (a copy that nobody may run, or the emulator with the
// program as its first argument), its argument strings and its environment.
struct Command {
    std::string program;
    std::vector<std::string> args, env;
};

// The environment with Options::env added, each NAME=VALUE replacing NAME's entry.
std::vector<std::string> environmentWith(const std::vector<std::string> &added) {
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        const std::string_view entry(*e);
        const auto name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const auto &add : added)
            if (add.compare(0, name.size(), name) == 0)
                replaced = true;
        if (!replaced)
            env.emplace_back(entry);
    }
    env.insert(env.end(), added.begin(), added.end());
    return env;
}

Command commandFor(const std::string &path, const Options &options, std::string &tmpDir) {
    Command command{path, {}, environmentWith(options.env)};
    if (options.asNobody)
        command.program = copyForNobody(path, tmpDir);
    command.args = {command.program};
    if (needsEmulator(command.program)) {
        command.args.insert(command.args.begin(), HARNESS_EMULATOR);
        command.program = HARNESS_EMULATOR;
    }
    command.args.insert(command.args.end(), options.args.begin(), options.args.end());
    return command;
}

// argv-style pointers into `strings`, ending with a null pointer.
std::vector<char *> pointers(std::vector<std::string> &strings) {
    std::vector<char *> list;
    for (auto &s : strings)
        list.push_back(s.data());
    list.push_back(nullptr);
    return list;
}

Channels openChannels(bool pty, bool asNobody) {
    Channels channels;
    if (pty) {
        channels.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (channels.master < 0 || ::grantpt(channels.master) != 0 ||
            ::unlockpt(channels.master) != 0)
            fail("posix_openpt");
        channels.slaveName = ::ptsname(channels.master);
        if (asNobody)
            ::chown(channels.slaveName.c_str(), kNobodyUid, kNogroupGid);
    } else if (::pipe2(channels.in, O_CLOEXEC) != 0 || ::pipe2(channels.out, O_CLOEXEC) != 0) {
        fail("pipe2");
    }
    if (::pipe2(channels.err, O_CLOEXEC) != 0 || ::pipe2(channels.report, O_CLOEXEC) != 0)
        fail("pipe2");
    return channels;
}

// In the child: standard input and output on the terminal (which becomes the controlling
// one, without echo or output translation) or on the pipes, standard error on its pipe.
void childStreams(const Channels &channels, bool pty, bool stdinNull) {
    if (pty) {
        const int slave = ::open(channels.slaveName.c_str(), O_RDWR);
        if (slave < 0)
            childFail(channels.report[1], "open pty");
        ::ioctl(slave, TIOCSCTTY, 0);
        termios tio{};
        ::tcgetattr(slave, &tio);
        tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
        tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        ::tcsetattr(slave, TCSANOW, &tio);
        ::dup2(slave, 0);
        ::dup2(slave, 1);
        if (slave > 2)
            ::close(slave);
    } else {
        ::dup2(channels.in[0], 0);
        ::dup2(channels.out[1], 1);
    }
    ::dup2(channels.err[1], 2);
    if (stdinNull) {
        const int devnull = ::open("/dev/null", O_RDONLY);
        ::dup2(devnull, 0);
        ::close(devnull);
    }
}

// In the child: dispositions and masks survive exec, so the program gets a clean start, with
// only the signals the test asked for blocked.
void childCleanSignals(const std::vector<int> &blocked) {
    sigset_t mask;
    sigemptyset(&mask);
    for (const int sig : blocked)
        sigaddset(&mask, sig);
    ::sigprocmask(SIG_SETMASK, &mask, nullptr);
    for (int sig = 1; sig < NSIG; ++sig)
        std::signal(sig, SIG_DFL);
}

// In the child: the resource limits, then the user nobody if asked for.
void childLimitsAndUser(const Options &options, int reportFd) {
    for (const auto &[resource, value] : options.limits) {
        const rlimit lim{value, value};
        if (::setrlimit(resource, &lim) != 0)
            childFail(reportFd, "setrlimit");
    }
    if (options.asNobody) {
        if (::setgroups(0, nullptr) != 0 ||
            ::setresgid(kNogroupGid, kNogroupGid, kNogroupGid) != 0 ||
            ::setresuid(kNobodyUid, kNobodyUid, kNobodyUid) != 0)
            childFail(reportFd, "become nobody");
    }
}

// The child, from fork to exec, in its own session; a failure goes to the exec report pipe.
[[noreturn]] void runChild(const std::string &program, const std::vector<char *> &argv,
                           const std::vector<char *> &envp, const Channels &channels,
                           const Options &options, pid_t parent) {
    ::setsid();
    childStreams(channels, options.pty, options.stdinNull);
    childCleanSignals(options.blockedSignals);
    childLimitsAndUser(options, channels.report[1]);
    // Set after any change of credentials, which clears it: the program dies with the test.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        ::_exit(127);
    if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0)
        childFail(channels.report[1], "chdir");
    if (options.startStopped)
        ::raise(SIGSTOP);
    ::execve(program.c_str(), argv.data(), envp.data());
    childFail(channels.report[1], ("exec " + program).c_str());
}
}  // namespace

void killRunningGroups() {
    for (auto &slot : liveGroups) {
        const pid_t pgid = slot.load();
        if (pgid > 0)
            ::kill(-pgid, SIGKILL);
    }
}

// ---------------------------------------------------------------- paths

std::string binPath(std::string_view name) {
    return std::string(HARNESS_BIN_DIR "/") += name;
}
std::string libPath(std::string_view name) {
    return std::string(HARNESS_LIB_DIR "/") += name;
}
bool is32Bit() {
    return sizeof(void *) == 4;
}
bool emulated() {
    return is32Bit() && !std::string_view(HARNESS_EMULATOR).empty();
}
int timeoutScale() {
    return HARNESS_TIMEOUT_SCALE;
}
Duration scaled(Duration timeout) {
    return timeout * timeoutScale();
}
bool strict() {
    const char *value = std::getenv("MECH_STRICT");
    return value && std::string_view(value) == "1";
}

// ---------------------------------------------------------------- status

bool Status::exited() const {
    return WIFEXITED(raw);
}
int Status::code() const {
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
bool Status::signaled() const {
    return WIFSIGNALED(raw);
}
int Status::signal() const {
    return WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
}
bool Status::coreDumped() const {
    return WIFSIGNALED(raw) && WCOREDUMP(raw);
}
std::string Status::describe() const {
    if (exited())
        return "exit status " + std::to_string(code());
    if (signaled())
        return "killed by signal " + std::to_string(signal()) + " (" + strsignal(signal()) + ")" +
               (coreDumped() ? ", core dumped" : "");
    return "raw status " + std::to_string(raw);
}

// ---------------------------------------------------------------- process

Process::Process(const std::string &path, Options options) : pty_(options.pty), path_(path) {
    Command command = commandFor(path, options, tmpDir_);
    std::vector<char *> argv = pointers(command.args), envp = pointers(command.env);
    const Channels channels = openChannels(pty_, options.asNobody);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ < 0)
        fail("fork");
    if (pid_ == 0)
        runChild(command.program, argv, envp, channels, options, parent);
    adopt(channels);
    if (options.startStopped && stoppedBeforeExec())
        return;
    awaitExec();
}

// Keep the parent's ends of the channels; the child has its own.
void Process::adopt(const Channels &channels) {
    ::close(channels.report[1]);
    ::close(channels.err[1]);
    if (pty_) {
        in_ = channels.master;
        out_ = ::dup(channels.master);
    } else {
        ::close(channels.in[0]);
        ::close(channels.out[1]);
        in_ = channels.in[1];
        out_ = channels.out[0];
    }
    err_ = channels.err[0];
    report_ = channels.report[0];
    trackGroup(pid_);
    setNonblocking(out_);
    setNonblocking(err_);
}

// For Options::startStopped: wait until the child stops before exec (true), or has ended.
bool Process::stoppedBeforeExec() {
    int raw = 0;
    pid_t got;
    while ((got = ::waitpid(pid_, &raw, WUNTRACED)) < 0 && errno == EINTR) {
    }
    if (got == pid_ && WIFSTOPPED(raw))
        return true;
    if (got == pid_)
        status_ = Status{raw};
    return false;
}

void Process::resume() {
    if (report_ < 0)
        return;
    if (!status_)
        ::kill(pid_, SIGCONT);
    awaitExec();
}

void Process::awaitExec() {
    std::string why;
    char buf[256];
    ssize_t n;
    while ((n = ::read(report_, buf, sizeof buf)) > 0)
        why.append(buf, static_cast<std::size_t>(n));
    closeFd(report_);
    if (!why.empty()) {
        wait(kTimeout);
        throw std::runtime_error("cannot start " + path_ + ": " + why);
    }
}

Process::Process(Process &&other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      in_(std::exchange(other.in_, -1)),
      out_(std::exchange(other.out_, -1)),
      err_(std::exchange(other.err_, -1)),
      pty_(other.pty_),
      outBuf_(std::move(other.outBuf_)),
      errBuf_(std::move(other.errBuf_)),
      tmpDir_(std::exchange(other.tmpDir_, {})),
      status_(other.status_) {
    std::swap(report_, other.report_);
    path_ = std::move(other.path_);
}

Process::~Process() {
    kill();
    closeFd(report_);
    closeFd(in_);
    closeFd(out_);
    closeFd(err_);
    if (!tmpDir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(tmpDir_, ignored);
    }
}

void Process::kill() {
    if (pid_ <= 0)
        return;
    // The group outlives its leader when children remain; kill it either way.
    ::kill(-pid_, SIGKILL);
    untrackGroup(pid_);
    if (!status_) {
        ::kill(pid_, SIGKILL);
        int raw = 0;
        while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
        }
        status_ = Status{raw};
    }
}

bool Process::offer(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(in_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EPIPE)
            return false;
        if (n < 0)
            fail("write to program");
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void Process::write(std::string_view bytes) {
    if (!offer(bytes)) {
        errno = EPIPE;
        fail("write to program");
    }
}

void Process::closeInput() {
    if (pty_) {
        // ^D at the start of a line is end-of-file for a reader on the terminal.
        const char eof = 4;
        write(std::string_view(&eof, 1));
    } else {
        closeFd(in_);
    }
}

bool Process::pump(Duration timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        pollfd fds[2];
        nfds_t count = 0;
        if (out_ >= 0)
            fds[count++] = {out_, POLLIN, 0};
        if (err_ >= 0)
            fds[count++] = {err_, POLLIN, 0};
        if (count == 0)
            return false;
        const int ready = ::poll(fds, count, remainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return true;
        for (nfds_t i = 0; i < count; ++i) {
            if (!fds[i].revents)
                continue;
            int &fd = fds[i].fd == out_ ? out_ : err_;
            if (!readInto(fd, fds[i].fd == out_ ? outBuf_ : errBuf_))
                closeFd(fd);
        }
        if (outBuf_.size() + errBuf_.size() > kMaxOutput) {
            // A program that floods its output is stopped rather than let it fill the test's
            // memory; the case then fails on what it printed, and this line says why.
            std::fprintf(stderr,
                         "harness: %s wrote more than %zu MiB: stopped at the output limit\n",
                         path_.c_str(), kMaxOutput >> 20);
            signalGroup(SIGKILL);
            closeFd(out_);
            closeFd(err_);
        }
        return out_ >= 0 || err_ >= 0;
    }
}

const std::string &Process::out() {
    pump(Duration(0));
    return outBuf_;
}

std::string Process::takeOut() {
    pump(Duration(0));
    return std::exchange(outBuf_, {});
}

const std::string &Process::err() {
    pump(Duration(0));
    return errBuf_;
}

bool Process::waitFor(const std::function<bool()> &ready, Duration timeout) {
    timeout = scaled(timeout);
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        pump(Duration(0));
        if (ready())
            return true;
        if (Clock::now() >= deadline)
            return false;
        if (out_ < 0 && err_ < 0) {
            // The outputs have ended; only the program's state can still change.
            std::this_thread::sleep_for(std::min<Duration>(Duration(10), timeout));
            if (ended() && ready())
                return true;
            if (ended())
                return ready();
            continue;
        }
        pump(std::min(Duration(remainingMs(deadline)), kPollSlice));
    }
}

bool Process::waitForState(const std::function<bool()> &ready, Duration timeout, Duration every) {
    const auto deadline = Clock::now() + scaled(timeout);
    for (;;) {
        pump(Duration(0));
        if (ready())
            return true;
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        const Duration slice =
            std::min(every, std::chrono::duration_cast<Duration>(deadline - now));
        if (!pump(slice))
            std::this_thread::sleep_for(slice);  // the outputs have ended; only state changes
    }
}

bool Process::waitForOutput(std::string_view text, Duration timeout) {
    return waitFor([&] { return outBuf_.find(text) != std::string::npos; }, timeout);
}

bool Process::waitForError(std::string_view text, Duration timeout) {
    return waitFor([&] { return errBuf_.find(text) != std::string::npos; }, timeout);
}

bool Process::waitForLines(std::size_t lines, Duration timeout) {
    return waitFor(
        [&] {
            return static_cast<std::size_t>(std::count(outBuf_.begin(), outBuf_.end(), '\n')) >=
                   lines;
        },
        timeout);
}

bool Process::waitForBytes(std::size_t bytes, Duration timeout) {
    return waitFor([&] { return outBuf_.size() >= bytes; }, timeout);
}

void Process::drainFor(Duration quiet) {
    const auto deadline = Clock::now() + quiet;
    while (Clock::now() < deadline) {
        if (!pump(Duration(remainingMs(deadline)))) {
            std::this_thread::sleep_for(Duration(remainingMs(deadline)));
            break;
        }
    }
}

void Process::signal(int sig) {
    if (!status_)
        ::kill(pid_, sig);
}

void Process::signalGroup(int sig) {
    ::kill(-pid_, sig);
}

bool Process::ended() {
    if (status_)
        return true;
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return false;
    return info.si_pid == pid_;
}

std::optional<Status> Process::wait(Duration timeout) {
    if (status_)
        return status_;
    const auto deadline = Clock::now() + scaled(timeout);
    for (;;) {
        int raw = 0;
        const pid_t got = ::waitpid(pid_, &raw, WNOHANG);
        if (got == pid_) {
            status_ = Status{raw};
            break;
        }
        if (got < 0 && errno != EINTR)
            fail("waitpid");
        if (Clock::now() >= deadline)
            return std::nullopt;
        if (!pump(std::min<Duration>(Duration(20), Duration(remainingMs(deadline)))))
            std::this_thread::sleep_for(Duration(5));
    }
    // The program has ended; take what it wrote. What it wrote before ending is already
    // waiting, so a pause with nothing new means that whatever still holds the outputs open
    // (children, a terminal kept by them) is not the program: stop there.
    const auto drainDeadline = Clock::now() + std::chrono::milliseconds(2000);
    while ((out_ >= 0 || err_ >= 0) && Clock::now() < drainDeadline) {
        const std::size_t before = outBuf_.size() + errBuf_.size();
        pump(Duration(50));
        if (outBuf_.size() + errBuf_.size() == before)
            break;
    }
    pump(Duration(0));
    return status_;
}

char Process::state() const {
    const std::string stat = readFile("/proc/" + std::to_string(pid_) + "/stat");
    const auto close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? '?' : stat[close + 2];
}

std::vector<pid_t> Process::children() const {
    std::vector<pid_t> kids;
    const std::string taskDir = "/proc/" + std::to_string(pid_) + "/task";
    std::error_code ec;
    for (const auto &task : std::filesystem::directory_iterator(taskDir, ec)) {
        std::istringstream in(readFile(task.path().string() + "/children"));
        pid_t kid;
        while (in >> kid)
            kids.push_back(kid);
    }
    return kids;
}

int Process::openFds() const {
    int count = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++count;
    return count;
}

namespace {
// The user namespace's map: "INSIDE OUTSIDE COUNT" lines.
struct IdRange {
    unsigned long inside, count;
};
std::vector<IdRange> uidMap() {
    std::vector<IdRange> ranges;
    std::ifstream in("/proc/self/uid_map");
    unsigned long inside = 0, outside = 0, count = 0;
    while (in >> inside >> outside >> count)
        ranges.push_back({inside, count});
    return ranges;
}

bool mapped(unsigned long uid) {
    for (const auto &r : uidMap())
        if (uid >= r.inside && uid - r.inside < r.count)
            return true;
    return false;
}

// A uid outside the map is taken as one inside it: 60000 and the uid's last three digits, so
// that the cases' distinct uids stay distinct (and clear of nobody, 65534).
std::string mappedUid(const std::string &uid) {
    const unsigned long wanted = std::stoul(uid);
    if (mapped(wanted))
        return uid;
    return std::to_string(kUnusedBase + wanted % 1000);
}
}  // namespace

bool otherUsersMapped() {
    unsigned long total = 0;
    for (const auto &r : uidMap())
        total += r.count;
    return total > 1 && mapped(kNobodyUid) && mapped(kUnusedBase + 999);
}

Process startWhereForkFails(const std::string &path, const std::string &unusedUid,
                            Options options) {
    const std::string uid = mappedUid(unusedUid);
    std::vector<std::string> args = {"--reuid=" + uid, "--regid=" + uid, "--clear-groups", "--"};
    if (emulated())
        args.emplace_back(HARNESS_EMULATOR);
    args.push_back(path);
    args.insert(args.end(), options.args.begin(), options.args.end());
    options.args = std::move(args);
    options.limits.emplace_back(RLIMIT_NPROC, emulated() ? 2 : 1);
    return Process("/usr/bin/setpriv", std::move(options));
}

Result run(const std::string &path, std::string_view input, Options options, Duration timeout) {
    Process p(path, std::move(options));
    // A program may end, or close its input, before it has read all of it (a client that gives
    // up at once): what it printed and how it ended are still the result.
    if (!input.empty())
        p.offer(input);
    p.closeInput();
    const auto status = p.wait(timeout);
    if (!status)
        throw std::runtime_error(path + " did not end within the timeout");
    return Result{p.out(), p.err(), *status};
}

// ---------------------------------------------------------------- namespaces

std::string isolate(int which) {
    int flags = 0;
    if (which & kNet)
        flags |= CLONE_NEWNET;
    if (which & kIpc)
        flags |= CLONE_NEWIPC;
    if (which & kMount)
        flags |= CLONE_NEWNS;
    if (which & kUts)
        flags |= CLONE_NEWUTS;
    if (::unshare(flags) != 0)
        return errnoText("unshare");
    if (which & kMount) {
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return errnoText("make mounts private");
    }
    if (which & kNet) {
        const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (s < 0)
            return errnoText("socket");
        ifreq ifr{};
        std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
        const bool up = ::ioctl(s, SIOCGIFFLAGS, &ifr) == 0 &&
                        (ifr.ifr_flags |= IFF_UP, ::ioctl(s, SIOCSIFFLAGS, &ifr) == 0);
        const int err = errno;
        ::close(s);
        if (!up)
            return std::string("bring loopback up: ") + std::strerror(err);
    }
    return "";
}

std::string mountTmpfs(const std::string &path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (::mount("tmpfs", path.c_str(), "tmpfs", 0, "mode=1777") != 0)
        return errnoText("mount tmpfs on " + path);
    return "";
}

std::string mountMqueue() {
    std::error_code ec;
    std::filesystem::create_directories("/dev/mqueue", ec);
    if (::mount("mqueue", "/dev/mqueue", "mqueue", 0, nullptr) != 0)
        return errnoText("mount mqueue on /dev/mqueue");
    return "";
}

std::string mountDevpts() {
    if (::mount("devpts", "/dev/pts", "devpts", 0, "newinstance,ptmxmode=0666,mode=0620") != 0)
        return errnoText("mount devpts on /dev/pts");
    if (::mount("/dev/pts/ptmx", "/dev/ptmx", nullptr, MS_BIND, nullptr) != 0)
        return errnoText("bind /dev/pts/ptmx on /dev/ptmx");
    return "";
}

// ---------------------------------------------------------------- files

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void writeFile(const std::string &path, std::string_view bytes, int mode) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        fail("open " + path);
    Fd owner(fd);
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0)
            fail("write " + path);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    ::fchmod(fd, static_cast<mode_t>(mode));
}

TempDir::TempDir() {
    char dir[] = "/tmp/harness-XXXXXX";
    if (!::mkdtemp(dir))
        fail("mkdtemp");
    path_ = dir;
}

bool (*caseFailed)() = nullptr;

TempDir::~TempDir() {
    if (std::uncaught_exceptions() > 0 || (caseFailed && caseFailed())) {
        std::fprintf(stderr, "harness: kept %s, the failed case's folder\n", path_.c_str());
        return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

// ---------------------------------------------------------------- sockets

Fd::~Fd() {
    reset();
}

Fd &Fd::operator=(Fd &&other) noexcept {
    reset(std::exchange(other.fd_, -1));
    return *this;
}

void Fd::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

namespace {
sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

bool waitReadable(int fd, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0;
    }
}
}  // namespace

Fd udpSocket(std::uint16_t bindPort) {
    Fd s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!s)
        fail("socket");
    const sockaddr_in addr = loopback(bindPort);
    if (::bind(s.get(), reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0)
        fail("bind");
    return s;
}

std::uint16_t localPort(const Fd &socket) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(socket.get(), reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        fail("getsockname");
    return ntohs(addr.sin_port);
}

void sendTo(const Fd &socket, std::uint16_t port, std::string_view bytes) {
    const sockaddr_in addr = loopback(port);
    if (::sendto(socket.get(), bytes.data(), bytes.size(), 0,
                 reinterpret_cast<const sockaddr *>(&addr), sizeof addr) < 0)
        fail("sendto");
}

std::optional<std::string> recvFrom(const Fd &socket, Duration timeout, std::uint16_t *fromPort) {
    if (!waitReadable(socket.get(), Clock::now() + scaled(timeout)))
        return std::nullopt;
    std::string buf(65536, '\0');
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(socket.get(), buf.data(), buf.size(), 0,
                                 reinterpret_cast<sockaddr *>(&from), &len);
    if (n < 0)
        fail("recvfrom");
    if (fromPort)
        *fromPort = ntohs(from.sin_port);
    buf.resize(static_cast<std::size_t>(n));
    return buf;
}

Fd tcpConnect(std::uint16_t port, Duration timeout) {
    const auto deadline = Clock::now() + scaled(timeout);
    const sockaddr_in addr = loopback(port);
    for (;;) {
        Fd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!s)
            fail("socket");
        if (::connect(s.get(), reinterpret_cast<const sockaddr *>(&addr), sizeof addr) == 0)
            return s;
        if (errno != ECONNREFUSED || Clock::now() >= deadline)
            fail("connect");
        std::this_thread::sleep_for(Duration(10));
    }
}

void sendAll(const Fd &socket, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail("send");
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string recvAll(const Fd &socket, Duration timeout) {
    const auto deadline = Clock::now() + scaled(timeout);
    std::string all;
    char buf[4096];
    while (waitReadable(socket.get(), deadline)) {
        const ssize_t n = ::recv(socket.get(), buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        all.append(buf, static_cast<std::size_t>(n));
    }
    return all;
}

// ---------------------------------------------------------------- showing bytes

std::string visible(std::string_view bytes) {
    std::string shown;
    for (const unsigned char c : bytes) {
        if (c == '\n') {
            shown += "\\n";
        } else if (c == '\\') {
            shown += "\\\\";
        } else if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            shown += hex;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

std::string sideBySide(std::string_view expected, std::string_view actual) {
    if (expected == actual)
        return "";
    auto split = [](std::string_view s) {
        std::vector<std::string_view> lines;
        while (!s.empty()) {
            const auto nl = s.find('\n');
            const auto len = nl == std::string_view::npos ? s.size() : nl + 1;
            lines.push_back(s.substr(0, len));
            s.remove_prefix(len);
        }
        return lines;
    };
    const auto e = split(expected), a = split(actual);
    std::ostringstream out;
    out << "expected " << expected.size() << " bytes, actual " << actual.size() << " bytes\n";
    bool marked = false;
    for (std::size_t i = 0; i < std::max(e.size(), a.size()); ++i) {
        const std::string left = i < e.size() ? visible(e[i]) : "(none)";
        const std::string right = i < a.size() ? visible(a[i]) : "(none)";
        const bool same = i < e.size() && i < a.size() && e[i] == a[i];
        out << (same     ? "   "
                : marked ? " ! "
                         : ">> ")
            << "expected: " << left << "\n"
            << (same     ? "   "
                : marked ? " ! "
                         : ">> ")
            << "actual:   " << right << "\n";
        if (!same)
            marked = true;
    }
    return out.str();
}

// ---------------------------------------------------------------- polling

bool waitUntil(const std::function<bool()> &ready, Duration timeout, Duration interval) {
    const auto deadline = Clock::now() + scaled(timeout);
    for (;;) {
        if (ready())
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::min<Duration>(interval, Duration(remainingMs(deadline))));
    }
}

}  // namespace harness
