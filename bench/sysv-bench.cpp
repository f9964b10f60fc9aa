// sysv-bench: the typed sender's and receivers' calls, which each program makes once, timed in
// a loop: one round trip is the sender's two sends (type 10 "a" text, type 20 "b" text,
// IPC_NOWAIT) and one receiver's two receives by type with its two printed lines, in the
// order of sysv-typed-receiver-a or of sysv-typed-receiver-b. The floor is the same two sends
// and two receives of the oldest message (type 0), with nothing printed; "typed_calls" is the
// typed round trip without the printing, which tells the two costs apart, and
// "typed_a_fwrite" prints each line with one call instead of 101.
// A private queue (IPC_PRIVATE) per benchmark: no fixed key, nothing shared with the machine.
// The printed lines go to /dev/null through a stream, as the programs' putchar does when their
// standard output is /dev/null. Times are CPU time of the process, system time included.
#include <benchmark/benchmark.h>
#include <sys/ipc.h>
#include <sys/msg.h>

#include <cstdio>
#include <cstring>

#include "typed-message.hpp"

namespace {

constexpr int kMode = 0600;

struct Queue {
    int id = msgget(IPC_PRIVATE, IPC_CREAT | kMode);
    Queue() = default;
    Queue(const Queue &) = delete;
    Queue &operator=(const Queue &) = delete;
    ~Queue() { msgctl(id, IPC_RMID, nullptr); }
};

struct Records {
    typedMessage a{};
    typedMessage b{};
    Records() {
        a.mtype = kTypeA;
        memset(a.mtext, 'a', kTextBytes);
        b.mtype = kTypeB;
        memset(b.mtext, 'b', kTextBytes);
    }
};

enum class Print { none, byByte, byLine };

// As the receivers print a record: byte by byte (putchar); or, to show what that costs, the
// same bytes in one call.
void printText(FILE *out, const typedMessage &msg, Print how) {
    if (how == Print::byByte) {
        for (std::size_t i = 0; i < kTextBytes; i++)
            putc(msg.mtext[i], out);
        putc('\n', out);
    } else if (how == Print::byLine) {
        fwrite(msg.mtext, 1, kTextBytes, out);
        putc('\n', out);
    }
}

bool sendBoth(int id, const Records &r) {
    return msgsnd(id, &r.a, kTextBytes, IPC_NOWAIT) == 0 &&
           msgsnd(id, &r.b, kTextBytes, IPC_NOWAIT) == 0;
}

// receiverOrder: 'a' takes type 10 then 20 (both waiting), 'b' takes type 20 without waiting
// then 10; 0 takes them in either order without printing.
template <char receiverOrder, Print print>
void typedRoundTrip(benchmark::State &state) {
    Queue q;
    const Records r;
    typedMessage first{};
    typedMessage second{};
    FILE *sink = fopen("/dev/null", "w");
    if (q.id < 0 || sink == nullptr) {
        state.SkipWithError("no queue or no /dev/null");
        return;
    }
    const bool bFirst = receiverOrder == 'b';
    for (auto _ : state) {
        if (!sendBoth(q.id, r)) {
            state.SkipWithError("msgsnd failed");
            break;
        }
        const ssize_t one =
            msgrcv(q.id, &first, kTextBytes, bFirst ? kTypeB : kTypeA, bFirst ? IPC_NOWAIT : 0);
        printText(sink, first, print);
        const ssize_t two = msgrcv(q.id, &second, kTextBytes, bFirst ? kTypeA : kTypeB, 0);
        printText(sink, second, print);
        if (one != static_cast<ssize_t>(kTextBytes) || two != static_cast<ssize_t>(kTextBytes)) {
            state.SkipWithError("msgrcv failed");
            break;
        }
    }
    fclose(sink);
}

void bareRoundTrip(benchmark::State &state) {
    Queue q;
    const Records r;
    typedMessage in{};
    if (q.id < 0) {
        state.SkipWithError("no queue");
        return;
    }
    for (auto _ : state) {
        if (!sendBoth(q.id, r)) {
            state.SkipWithError("msgsnd failed");
            break;
        }
        const ssize_t one = msgrcv(q.id, &in, kTextBytes, 0, 0);
        const ssize_t two = msgrcv(q.id, &in, kTextBytes, 0, 0);
        benchmark::DoNotOptimize(in);
        if (one != static_cast<ssize_t>(kTextBytes) || two != static_cast<ssize_t>(kTextBytes)) {
            state.SkipWithError("msgrcv failed");
            break;
        }
    }
}

}  // namespace

BENCHMARK(typedRoundTrip<'a', Print::byByte>)->Name("sysv_typed_a");
BENCHMARK(typedRoundTrip<'b', Print::byByte>)->Name("sysv_typed_b");
BENCHMARK(typedRoundTrip<'a', Print::none>)->Name("sysv_typed_calls");
BENCHMARK(typedRoundTrip<'a', Print::byLine>)->Name("sysv_typed_a_fwrite");
BENCHMARK(bareRoundTrip)->Name("sysv_bare");

BENCHMARK_MAIN();
