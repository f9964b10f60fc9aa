// mech-bench: whole-process timings of the programs that serve or drain, each against a bare
// loop of the same system calls in a process of our own. One case per run, printing
// "name value" lines that bench/run gathers:
//   mech-bench fortune N [oracle-server]         N fortune exchanges (bare UDP ping-pong without)
//   mech-bench fork N dump|reply|bare [server]   N TCP connections through a forking server
//   mech-bench mq N WATCHER CREATOR WRITER       N messages from WRITER (my-mq-writer) drained
//                                                from "/my_mq" by WATCHER, a program, or a
//                                                floor on the queue CREATOR makes: "bare", a
//                                                blocking mq_receive loop, or "bare-thread", a
//                                                bare SIGEV_THREAD notification loop;
//                                                WRITER "--paced": one message at a time
// It uses the fixed ports and queue names, so bench/run starts it in fresh namespaces.
// Every wait polls with a timeout; the timed spans hold no sleep, only the work and its waits.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <mqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint16_t kFortunePort = 9000;
constexpr std::uint16_t kStreamPort = 8000;
constexpr int kBacklog = 5;
constexpr int kReadyTimeoutMs = 10000;  // a server or watcher that is not ready by then failed
constexpr int kStallTimeoutMs = 10000;  // no progress for this long: the rest is lost
constexpr int kPollStepUs = 1000;
constexpr int kWarmup = 20;
constexpr int kSamples = 10;  // memory and process-count samples over a run of connections
constexpr std::size_t kBufBytes = 512;
constexpr const char *kGreeting = "Welcome to ZQ. what's your name";
constexpr const char *kName = "bob";
constexpr const char *kFortune = "you will get job";  // the fortune that "bob" gets
constexpr const char *kDumpPayload = "0123456789";    // the 10 bytes the dump server reads
constexpr const char *kReplyPayload = "hello";
constexpr const char *kAnswer = "Good Bye";
constexpr const char *kQueue = "/my_mq";
constexpr const char *kQueueFile = "/dev/mqueue/my_mq";
constexpr const char *kMessageSize = "25";  // what mq-sender sends: 24 characters and a NUL
// The longest message of the queue that mq-thread-watch makes: the notification floor's buffer.
constexpr long kQueueMessageMax = 8192;

[[noreturn]] void die(const std::string &why) {
    fprintf(stderr, "mech-bench: %s\n", why.c_str());
    exit(1);
}

[[noreturn]] void dieErrno(const std::string &what) {
    die(what + ": " + strerror(errno));
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Waits until ready() holds, checking every millisecond; dies after kReadyTimeoutMs.
template <typename Ready>
void waitUntil(const char *what, Ready ready) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kReadyTimeoutMs);
    while (!ready()) {
        if (Clock::now() > deadline)
            die(std::string("timed out waiting for ") + what);
        usleep(kPollStepUs);
    }
}

// Starts argv with standard output on outFd (standard input and error inherited).
pid_t spawn(const std::vector<std::string> &args, int outFd) {
    const pid_t pid = fork();
    if (pid < 0)
        dieErrno("fork");
    if (pid == 0) {
        dup2(outFd, STDOUT_FILENO);
        std::vector<char *> argv;
        for (const auto &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        perror(argv[0]);
        _exit(127);
    }
    return pid;
}

void stop(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

int devNull() {
    const int fd = open("/dev/null", O_WRONLY);
    if (fd < 0)
        dieErrno("open /dev/null");
    return fd;
}

// True when /proc/net/<proto> shows a socket on local port `port` (TCP: listening).
bool portBound(const char *proto, std::uint16_t port) {
    std::ifstream table(std::string("/proc/net/") + proto);
    std::string line;
    char want[16];
    snprintf(want, sizeof want, ":%04X", port);
    std::getline(table, line);  // header
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local.size() > 5 && local.substr(local.size() - 5) == want &&
            (std::string(proto) != "tcp" || state == "0A"))
            return true;
    }
    return false;
}

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

// A socket of TYPE bound to PORT on every address, for the floors; ends the run on failure.
int boundSocket(int type, std::uint16_t port, const char *what) {
    const int fd = socket(AF_INET, type, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(port);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&any), sizeof any) < 0)
        dieErrno(what);
    return fd;
}

void sendMessage(int fd, const char *body, const sockaddr *to, socklen_t toLen) {
    const std::int16_t len = static_cast<std::int16_t>(strlen(body));
    sendto(fd, &len, sizeof len, 0, to, toLen);
    sendto(fd, body, strlen(body), 0, to, toLen);
}

// ---- fortune exchanges ----------------------------------------------------------------------

// The floor: one process that sends and receives the same datagrams as oracle-server, with
// nothing else (no printing, no allocation).
[[noreturn]] void bareUdpServer() {
    const int fd = boundSocket(SOCK_DGRAM, kFortunePort, "bare udp server");
    char buf[kBufBytes];
    for (;;) {
        sockaddr_in peer{};
        socklen_t peerLen = sizeof peer;
        auto *p = reinterpret_cast<sockaddr *>(&peer);
        recvfrom(fd, buf, sizeof buf, 0, p, &peerLen);  // first contact
        sendMessage(fd, kGreeting, p, peerLen);
        recvfrom(fd, buf, sizeof buf, 0, p, &peerLen);  // name length
        recvfrom(fd, buf, sizeof buf, 0, p, &peerLen);  // name
        sendMessage(fd, kFortune, p, peerLen);
    }
}

// Receives one length-prefixed message; its body length, or -1.
int receiveMessage(int fd) {
    char buf[kBufBytes];
    std::int16_t len = 0;
    if (recv(fd, &len, sizeof len, 0) != sizeof len)
        return -1;
    const ssize_t got = recv(fd, buf, sizeof buf, 0);
    return got == len ? static_cast<int>(got) : -1;
}

// One exchange as oracle-client makes it: an empty datagram to make itself known, the
// greeting, the name, the fortune.
void exchange(int fd) {
    sockaddr_in server = loopback(kFortunePort);
    const auto *to = reinterpret_cast<const sockaddr *>(&server);
    sendto(fd, "", 0, 0, to, sizeof server);
    if (receiveMessage(fd) != static_cast<int>(strlen(kGreeting)))
        die("fortune: no greeting");
    sendMessage(fd, kName, to, sizeof server);
    if (receiveMessage(fd) != static_cast<int>(strlen(kFortune)))
        die("fortune: no fortune (or the wrong one)");
}

void fortuneCase(long n, const char *serverBin) {
    const int null = devNull();
    pid_t server;
    if (serverBin != nullptr) {
        server = spawn({serverBin}, null);
    } else {
        server = fork();
        if (server == 0)
            bareUdpServer();
    }
    waitUntil("UDP port 9000", [] { return portBound("udp", kFortunePort); });
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    timeval limit{kStallTimeoutMs / 1000, 0};  // a lost datagram fails the run, not hangs it
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    for (long i = 0; i < std::min<long>(kWarmup, n); i++)
        exchange(fd);
    const auto t0 = Clock::now();
    for (long i = 0; i < n; i++)
        exchange(fd);
    const double s = seconds(Clock::now() - t0);
    stop(server);
    printf("rate %.1f\n", static_cast<double>(n) / s);
}

// ---- forking servers ------------------------------------------------------------------------

// The floor: accept, fork, read, write, exit, with children collected by the kernel (SIGCHLD
// ignored) as our servers do.
[[noreturn]] void bareForkServer() {
    signal(SIGCHLD, SIG_IGN);
    const int lfd = boundSocket(SOCK_STREAM, kStreamPort, "bare fork server");
    listen(lfd, kBacklog);
    for (;;) {
        const int cfd = accept(lfd, nullptr, nullptr);
        if (cfd < 0)
            continue;
        if (fork() == 0) {
            close(lfd);
            char buf[kBufBytes];
            read(cfd, buf, sizeof buf);
            write(cfd, kAnswer, strlen(kAnswer));
            exit(0);
        }
        close(cfd);
    }
}

// One connection: send the payload, read what comes back until the server's child closes.
long connection(const char *payload) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    timeval limit{kStallTimeoutMs / 1000, 0};  // a child that never closes fails the run
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in server = loopback(kStreamPort);
    if (connect(fd, reinterpret_cast<sockaddr *>(&server), sizeof server) < 0)
        dieErrno("connect");
    write(fd, payload, strlen(payload));
    char buf[kBufBytes];
    long total = 0;
    ssize_t got;
    while ((got = read(fd, buf, sizeof buf)) > 0)
        total += got;
    if (got < 0)
        dieErrno("fork: reading until the server closes");
    close(fd);
    return total;
}

long residentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// The server and every process whose parent it is (live children and zombies alike).
int processCount(pid_t pid) {
    int count = 1;
    const std::string parent = std::to_string(pid);
    DIR *proc = opendir("/proc");
    if (proc == nullptr)
        dieErrno("opendir /proc");
    while (const dirent *entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string text;
        std::getline(stat, text);
        const auto nameEnd = text.rfind(')');  // the command name may hold blanks
        if (nameEnd == std::string::npos)
            continue;
        std::istringstream rest(text.substr(nameEnd + 2));
        std::string state, ppid;
        rest >> state >> ppid;
        if (ppid == parent)
            count++;
    }
    closedir(proc);
    return count;
}

void forkCase(long n, const std::string &kind, const char *serverBin) {
    const int null = devNull();
    pid_t server;
    if (kind == "bare") {
        server = fork();
        if (server == 0)
            bareForkServer();
    } else {
        if (serverBin == nullptr)
            die("fork: which server?");
        server = spawn({serverBin}, null);
    }
    waitUntil("TCP port 8000", [] { return portBound("tcp", kStreamPort); });
    const char *payload = kind == "dump" ? kDumpPayload : kReplyPayload;
    const long answer = kind == "dump" ? 0 : static_cast<long>(strlen(kAnswer));
    for (long i = 0; i < std::min<long>(kWarmup, n); i++)
        connection(payload);
    const long rssFirst = residentKb(server);
    int procsMax = processCount(server);
    long rssMax = rssFirst;
    Clock::duration timed{};
    const long step = n / kSamples > 0 ? n / kSamples : 1;
    for (long done = 0; done < n;) {
        const long batch = std::min(step, n - done);
        const auto t0 = Clock::now();
        for (long i = 0; i < batch; i++)
            if (connection(payload) != answer)
                die("fork: wrong answer from the server");
        timed += Clock::now() - t0;
        done += batch;
        // Sampled between batches, outside the timed spans.
        rssMax = std::max(rssMax, residentKb(server));
        procsMax = std::max(procsMax, processCount(server));
    }
    const long rssLast = residentKb(server);
    stop(server);
    printf("rate %.1f\nrss_first_kb %ld\nrss_last_kb %ld\nrss_max_kb %ld\nprocs_max %d\n",
           static_cast<double>(n) / seconds(timed), rssFirst, rssLast, rssMax, procsMax);
}

// ---- queue drains ---------------------------------------------------------------------------

// The queue file of the mqueue filesystem: "QSIZE:0 NOTIFY:0 SIGNO:0 NOTIFY_PID:0".
long queueField(const char *field) {
    std::ifstream file(kQueueFile);
    std::string word;
    const std::string key = std::string(field) + ":";
    while (file >> word)
        if (word.rfind(key, 0) == 0)
            return std::stol(word.substr(key.size()));
    return -1;
}

// The floor: a blocking mq_receive loop on the same queue that prints the same line per
// message, line-buffered like the watchers here. Says "ready" once it has the queue open.
[[noreturn]] void bareReceiver(int outFd) {
    dup2(outFd, STDOUT_FILENO);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const mqd_t mqd = mq_open(kQueue, O_RDONLY);
    mq_attr attr;
    if (mqd == static_cast<mqd_t>(-1) || mq_getattr(mqd, &attr) < 0)
        dieErrno("bare receiver");
    char *buf = static_cast<char *>(malloc(static_cast<size_t>(attr.mq_msgsize)));
    puts("ready");
    for (;;) {
        const ssize_t got = mq_receive(mqd, buf, static_cast<size_t>(attr.mq_msgsize), nullptr);
        if (got >= 0)
            printf("Read %ld bytes\n", static_cast<long>(got));
    }
}

// The mechanism of mq-thread-watch with nothing of the program's own: a SIGEV_THREAD
// notification whose thread takes every message into a buffer of its thread (no mq_getattr,
// no malloc), prints the same line per message, registers again and takes what came
// meanwhile. Against it, mq-thread-watch's figure tells the program's cost from the
// mechanism's. Says "ready" once it is registered.
mqd_t notifyQueue = static_cast<mqd_t>(-1);

void notified(sigval);

void notifyAgain() {
    sigevent request{};
    request.sigev_notify = SIGEV_THREAD;
    request.sigev_notify_function = notified;
    if (mq_notify(notifyQueue, &request) < 0)
        dieErrno("bare notification: mq_notify");
}

void takeAll() {
    thread_local char buf[kQueueMessageMax];
    ssize_t got;
    while ((got = mq_receive(notifyQueue, buf, sizeof buf, nullptr)) >= 0)
        printf("Read %ld bytes\n", static_cast<long>(got));
}

void notified(sigval) {
    takeAll();
    notifyAgain();
    takeAll();
}

[[noreturn]] void bareNotificationLoop(int outFd) {
    dup2(outFd, STDOUT_FILENO);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    notifyQueue = mq_open(kQueue, O_RDONLY | O_NONBLOCK);
    mq_attr attr;
    if (notifyQueue == static_cast<mqd_t>(-1) || mq_getattr(notifyQueue, &attr) < 0)
        dieErrno("bare notification");
    if (attr.mq_msgsize > kQueueMessageMax)
        die("bare notification: messages longer than its buffer");
    notifyAgain();
    puts("ready");
    takeAll();
    for (;;)
        pause();
}

// Counts the lines that begin with 'R' ("Read %ld bytes", "ready") on a pipe, as they come.
struct LineCounter {
    int fd;
    bool atStart = true;
    bool counted = false;

    // Reads until `want` such lines have come, or nothing came for kStallTimeoutMs.
    long lines(long want) {
        long seen = 0;
        char buf[kBufBytes * 8];
        pollfd pfd{fd, POLLIN, 0};
        while (seen < want) {
            if (poll(&pfd, 1, kStallTimeoutMs) <= 0)
                break;  // stalled: whatever did not come is lost
            const ssize_t got = read(fd, buf, sizeof buf);
            if (got <= 0)
                break;
            for (ssize_t i = 0; i < got; i++) {
                if (atStart)
                    counted = buf[i] == 'R' || buf[i] == 'r';
                atStart = buf[i] == '\n';
                if (atStart && counted)
                    seen++;
            }
        }
        return seen;
    }
};

// One message at a time: send it, wait for its line, send the next. Every message then finds
// the queue empty, so each costs one notification (a signal, or a new thread) or one wake-up of
// a blocked receive: the round trip of the notification itself.
void pacedDrain(long n, LineCounter &counter) {
    const mqd_t mqd = mq_open(kQueue, O_WRONLY);
    if (mqd == static_cast<mqd_t>(-1))
        dieErrno("mq_open");
    const char message[] = "writing message to queue";  // 24 characters and the NUL, 25 bytes
    long seen = 0;
    const auto t0 = Clock::now();
    for (long i = 0; i < n; i++) {
        if (mq_send(mqd, message, sizeof message, 0) < 0)
            dieErrno("mq_send");
        if (counter.lines(1) != 1)
            break;  // stalled: this one is lost
        seen++;
    }
    const double s = seconds(Clock::now() - t0);
    printf("rate %.1f\nlost %ld\n", static_cast<double>(seen) / s, n - seen);
}

bool isFloor(const std::string &watcher) {
    return watcher == "bare" || watcher == "bare-thread";
}

// Starts the reader of the queue with its standard output on outFd: WATCHER, a program, or one
// of the floors ("bare", "bare-thread") on the queue that CREATOR makes.
pid_t startReader(const std::string &watcher, const char *creatorBin, int outFd) {
    if (!isFloor(watcher)) {
        // Line-buffered so that every message's line reaches us as it is printed.
        const pid_t reader = spawn({"stdbuf", "-oL", watcher}, outFd);
        waitUntil("the watcher's notification registration",
                  [] { return queueField("NOTIFY_PID") > 0; });
        return reader;
    }
    // The same queue as the watchers': let one of them create it, then take it over.
    const int null = devNull();
    const pid_t creator = spawn({creatorBin}, null);
    waitUntil("the queue", [] { return queueField("NOTIFY_PID") > 0; });
    stop(creator);
    close(null);
    const pid_t reader = fork();
    if (reader == 0 && watcher == "bare")
        bareReceiver(outFd);
    if (reader == 0)
        bareNotificationLoop(outFd);
    return reader;
}

void mqCase(long n, const std::string &watcher, const char *creatorBin, const char *writerBin) {
    int out[2];
    if (pipe(out) < 0)
        dieErrno("pipe");
    const pid_t reader = startReader(watcher, creatorBin, out[1]);
    close(out[1]);
    LineCounter counter{out[0]};
    if (isFloor(watcher) && counter.lines(1) != 1)
        die("mq: the floor " + watcher + " did not start");

    if (strcmp(writerBin, "--paced") == 0) {
        pacedDrain(n, counter);
        stop(reader);
        return;
    }
    const int null = devNull();
    const auto t0 = Clock::now();
    const pid_t writer = spawn({writerBin, std::to_string(n), kMessageSize}, null);
    const long seen = counter.lines(n);
    const double s = seconds(Clock::now() - t0);
    int status = 0;
    if (seen < n)
        kill(writer, SIGKILL);  // it may wait on a full queue that nobody drains any more
    waitpid(writer, &status, 0);
    const long left = queueField("QSIZE");
    stop(reader);
    if (seen == n && (!WIFEXITED(status) || WEXITSTATUS(status) != 0))
        die("mq: the writer failed");
    printf("rate %.1f\nlost %ld\nqueue_bytes_left %ld\n", static_cast<double>(seen) / s, n - seen,
           left);
}

}  // namespace

int main(int argc, char **argv) {
    signal(SIGPIPE, SIG_IGN);
    if (argc < 3)
        die("usage: mech-bench fortune|fork|mq N ...");
    const std::string what = argv[1];
    const long n = std::atol(argv[2]);
    if (n <= 0)
        die("N must be a positive number");
    if (what == "fortune") {
        fortuneCase(n, argc > 3 ? argv[3] : nullptr);
    } else if (what == "fork" && argc > 3) {
        forkCase(n, argv[3], argc > 4 ? argv[4] : nullptr);
    } else if (what == "mq" && argc > 5) {
        // mech-bench mq N WATCHER CREATOR WRITER
        mqCase(n, argv[3], argv[4], argv[5]);
    } else {
        die("usage: mech-bench fortune|fork|mq N ...");
    }
    return 0;
}
