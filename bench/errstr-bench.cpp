// errstr-bench: nanoseconds per call of the two thread-safe strerror objects, the C library's
// strerror, and the C library's XSI strerror_r into a caller's buffer (the same work as ours:
// one bounded copy or one formatting), on 1 and 2 threads, for known and unknown numbers.
// Run it with bench/errstr-bench.sh, which also prints the ratios. Times are CPU time per call
// (the threads' own clocks), which a machine shared with other work disturbs least.
#include <benchmark/benchmark.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>

extern "C" char *errstr_tls_strerror(int err);
extern "C" char *errstr_tsd_strerror(int err);
// The C library's XSI-compliant strerror_r (what strerror_r is without _GNU_SOURCE).
extern "C" int __xpg_strerror_r(int err, char *buf, std::size_t size);

namespace {

constexpr std::size_t kBufSize = 256;
constexpr std::size_t kNumbers = 8;  // a power of two: the index wraps with a mask
constexpr std::array<int, kNumbers> kKnown = {EPERM,  ENOENT, EINTR,  EIO,
                                              EAGAIN, ENOMEM, EACCES, EINVAL};
constexpr std::array<int, kNumbers> kUnknown = {-1, 134, 500, 1000, -1000, 4096, -22, 999};

const std::array<int, kNumbers> &numbers(const benchmark::State &state) {
    return state.range(0) == 0 ? kKnown : kUnknown;
}

template <char *(*Strerror)(int)>
void callStrerror(benchmark::State &state) {
    const auto &errs = numbers(state);
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(Strerror(errs[i++ & (kNumbers - 1)]));
}

void xsiStrerrorR(benchmark::State &state) {
    const auto &errs = numbers(state);
    char buf[kBufSize];
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(__xpg_strerror_r(errs[i++ & (kNumbers - 1)], buf, sizeof buf));
        benchmark::ClobberMemory();
    }
}

void configure(benchmark::internal::Benchmark *b) {
    b->ArgName("unknown")->Arg(0)->Arg(1)->Threads(1)->Threads(2);
}

}  // namespace

BENCHMARK(callStrerror<errstr_tls_strerror>)->Name("errstr_tls")->Apply(configure);
BENCHMARK(callStrerror<errstr_tsd_strerror>)->Name("errstr_tsd")->Apply(configure);
BENCHMARK(callStrerror<strerror>)->Name("libc_strerror")->Apply(configure);
BENCHMARK(xsiStrerrorR)->Name("xsi_strerror_r")->Apply(configure);

BENCHMARK_MAIN();
