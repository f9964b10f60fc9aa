// The process and namespace core of the tests' harness and of the tour's tools: start a built
// program as a user would (no arguments, input on standard input), optionally on a
// pseudo-terminal, as user nobody or with resource limits; capture standard output and
// standard error as bytes; wait for text, lines or bytes with a timeout; send signals; reap.
// Also: fresh Linux namespaces for tests that use fixed system names, small socket helpers,
// and the text of a wait status. The GoogleTest glue (byte-exact comparison, golden files,
// skips) is the tests' own, in tests/harness/.
//
// Nothing here starts a thread, so a test may still move itself into new namespaces after it
// has run programs.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace harness {

using namespace std::chrono_literals;
using Duration = std::chrono::milliseconds;
inline constexpr Duration kTimeout = 10s;

// Where this preset's outputs are: build/<preset>/bin/<name>, build/<preset>/lib/<name>.
std::string binPath(std::string_view name);
std::string libPath(std::string_view name);
// True when the programs under test are 32-bit (the i686 preset). Where the kernel cannot
// run 32-bit programs, Process starts every 32-bit program under qemu-i386 (same process id,
// same system calls), so tests need not care.
bool is32Bit();
// True when 32-bit programs run under the user-mode emulator (see above): a mechanism the
// emulator cannot carry may skip, saying so.
bool emulated();
// Every timeout a wait below is given is multiplied by timeoutScale(): MECH_TIMEOUT_SCALE at
// configure time times what the build adds where programs run slower (the sanitizers, a VM,
// the emulator); CTest's limits are scaled alike. scaled() does it for a test's own deadlines.
int timeoutScale();
Duration scaled(Duration timeout);
// Strict mode (MECH_STRICT=1, as in CI and the README's test command): a case whose
// prerequisite is missing (root, namespaces, kernel files, a 32-bit kernel...) fails instead of
// skipping; see HARNESS_SKIP in check.hpp.
bool strict();

struct Options {
    std::vector<std::string> args =
        {};                // after argv[0]; deliverables take none, peers and tools may
    std::string cwd = {};  // empty: the test's own
    std::vector<std::string> env = {};  // NAME=VALUE, added to (or replacing in) the environment
    bool pty = false;       // standard input and output on a pseudo-terminal, which becomes the
                            // controlling terminal; no echo and no output translation, so the
                            // bytes are the program's own. Standard error stays a pipe.
    bool asNobody = false;  // run as nobody:nogroup with no supplementary groups
    std::vector<std::pair<int, rlim_t>> limits = {};  // setrlimit(resource, {value, value})
    bool stdinNull = false;                           // standard input from /dev/null
    bool startStopped = false;  // stop (SIGSTOP) just before exec, so the test can prepare
                                // what the program will meet; resume() lets it run
    std::vector<int> blockedSignals = {};  // blocked when the program starts, as a parent may
                                           // leave them (the mask survives exec); else none
};

// A decoded wait status.
struct Status {
    int raw = 0;
    bool exited() const;
    int code() const;  // exit status, or -1 when killed
    bool signaled() const;
    int signal() const;  // terminating signal, or 0
    bool coreDumped() const;
    std::string describe() const;  // "exit status 0", "killed by signal 9 (Killed)"
};

// The descriptors between a Process and its program while it starts (see harness.cpp).
struct Channels;

// One started program in its own process group (and session). Destroying it kills the whole
// group with SIGKILL and reaps the program, so nothing outlives a test.
class Process {
  public:
    explicit Process(const std::string &path, Options options = {});
    ~Process();
    Process(Process &&other) noexcept;
    Process &operator=(Process &&) = delete;
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    pid_t pid() const { return pid_; }
    // For Options::startStopped: continue the program and wait until it has been exec'd.
    void resume();

    // Standard input. closeInput() closes the pipe, or on a terminal sends end-of-file (^D).
    // write() throws when the program has closed its input; offer() then returns false.
    void write(std::string_view bytes);
    bool offer(std::string_view bytes);
    void closeInput();

    // Everything read so far (reads what is waiting first, without blocking).
    const std::string &out();
    const std::string &err();

    // Wait until ready() holds, reading output meanwhile and asking again at least every 50 ms
    // (ready() may look at more than the output); false on timeout or when the output
    // has ended and ready() still does not hold.
    bool waitFor(const std::function<bool()> &ready, Duration timeout = kTimeout);
    bool waitForOutput(std::string_view text, Duration timeout = kTimeout);  // stdout has text
    bool waitForError(std::string_view text, Duration timeout = kTimeout);   // stderr has text
    bool waitForLines(std::size_t lines, Duration timeout = kTimeout);       // stdout newlines
    bool waitForBytes(std::size_t bytes, Duration timeout = kTimeout);       // stdout bytes

    // Like waitFor, for conditions that no output announces (the program's children, its
    // descriptors, a socket's state): ready() is checked at least every `every` while output
    // is read, so the wait ends soon after the condition holds.
    bool waitForState(const std::function<bool()> &ready, Duration timeout = kTimeout,
                      Duration every = Duration(10));

    // Read whatever arrives for `quiet`, to check that nothing more comes.
    void drainFor(Duration quiet);

    void signal(int sig);       // to the program
    void signalGroup(int sig);  // to its whole process group

    // Reap the program, reading its output to the end; nullopt on timeout (it still runs).
    std::optional<Status> wait(Duration timeout = kTimeout);
    // True once the program has ended (it is not reaped by asking).
    bool ended();
    std::optional<Status> status() const { return status_; }

    // What /proc says about the program while it lives.
    char state() const;                   // R, S, Z, ...
    std::vector<pid_t> children() const;  // direct children
    int openFds() const;                  // entries in /proc/<pid>/fd

    // Wait for up to `timeout` for a subsequent read to return something; for tools that
    // stream the output. Returns false when both outputs have ended.
    bool pump(Duration timeout);
    int inputFd() const { return in_; }

    // Hand over the standard output read so far and forget it, so that a program that floods
    // its output can be followed for as long as needed in bounded memory. Waits that look at
    // out() see only what arrives afterwards.
    std::string takeOut();

  private:
    void kill();
    void adopt(const Channels &channels);  // keep our ends of the channels
    bool stoppedBeforeExec();
    void awaitExec();  // read the exec report pipe to its end; throw what went wrong
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    bool pty_ = false;
    std::string outBuf_, errBuf_, tmpDir_;
    int report_ = -1;  // exec report pipe of a program started stopped, until resume()
    std::string path_;
    std::optional<Status> status_;
};

// Kill the process group of every Process still running (async-signal-safe: for a watchdog's
// signal handler).
void killRunningGroups();

struct Result {
    std::string out, err;
    Status status;
};

// Start a program where fork fails: through setpriv (which becomes the program: one process,
// one pid) under a user id of its own, with RLIMIT_NPROC at what the program itself takes (the
// emulator of 32-bit programs needs one task more, for its own thread). The limit counts every
// process of a uid across the machine and tests may run at the same time, so each caller names
// its own unused uid.
Process startWhereForkFails(const std::string &path, const std::string &unusedUid,
                            Options options = {});

// True when this user namespace maps users besides the one that runs the tests, so that a
// program may run as nobody or as an unused uid. A sandbox of an ordinary user's maps that user
// alone (as root); the machine's root's maps a range. An unused uid outside the map is taken
// as one inside it, the same for the same uid (see startWhereForkFails).
bool otherUsersMapped();

// Run a program to its end with `input` on standard input (then end-of-file). Throws when it
// does not end within the timeout (the program is killed).
Result run(const std::string &path, std::string_view input = {}, Options options = {},
           Duration timeout = kTimeout);

// Namespaces. Sockets and other objects belong to the namespace they were made in, so make
// them after isolating (not in a fixture's member initialisers). isolate() moves the calling test
// process (and so every program it starts afterwards) into fresh namespaces: kNet brings loopback
// up, kMount makes every mount private. It returns "" on success, otherwise why not;
// HARNESS_ISOLATE skips the test then.
enum : int { kNet = 1, kIpc = 2, kMount = 4, kUts = 8 };
std::string isolate(int which);
// In a private mount namespace: a fresh tmpfs at a path (created if missing), the POSIX
// message queue filesystem of the current IPC namespace at /dev/mqueue, and a private devpts
// instance at /dev/pts with /dev/ptmx pointing into it.
std::string mountTmpfs(const std::string &path);
std::string mountMqueue();
std::string mountDevpts();

// Files.
std::string readFile(const std::string &path);
void writeFile(const std::string &path, std::string_view bytes, int mode = 0644);
// A fresh directory under /tmp, removed with everything in it when the object goes, unless
// the running case has failed (caseFailed, set by the GoogleTest glue, says so): then it is
// kept as evidence and its path printed on standard error.
extern bool (*caseFailed)();
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

  private:
    std::string path_;
};

// Sockets on IPv4 loopback for tests that play a peer.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd();
    Fd(Fd &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd &operator=(Fd &&other) noexcept;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void reset(int fd = -1);

  private:
    int fd_ = -1;
};
Fd udpSocket(std::uint16_t bindPort = 0);  // bound to 127.0.0.1:bindPort (0: any port)
std::uint16_t localPort(const Fd &socket);
void sendTo(const Fd &socket, std::uint16_t port, std::string_view bytes);  // to 127.0.0.1
// One datagram, or nullopt on timeout; `fromPort` gets the sender's port.
std::optional<std::string> recvFrom(const Fd &socket, Duration timeout = kTimeout,
                                    std::uint16_t *fromPort = nullptr);
// A TCP connection to 127.0.0.1:port, retried until the timeout (for a server just started).
Fd tcpConnect(std::uint16_t port, Duration timeout = kTimeout);
void sendAll(const Fd &socket, std::string_view bytes);
// Everything until the peer closes, or what came before the timeout.
std::string recvAll(const Fd &socket, Duration timeout = kTimeout);

// Text made visible for messages: escapes control bytes, shows the line ends.
std::string visible(std::string_view bytes);
// Expected and actual side by side, line by line, with the first difference marked; empty
// when equal.
std::string sideBySide(std::string_view expected, std::string_view actual);

// Wait until ready() holds, checking it every `interval`; false on timeout. For state that no
// output announces (a queue's entry in /dev/mqueue, a file appearing); prefer the Process
// waits where the program prints something.
bool waitUntil(const std::function<bool()> &ready, Duration timeout = kTimeout,
               Duration interval = Duration(10));

}  // namespace harness
