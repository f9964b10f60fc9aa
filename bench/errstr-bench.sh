#!/usr/bin/env bash
# Builds and runs the strerror benchmark (native preset), then prints the ratios the README
# records: errstr-tls and errstr-tsd against the C library's XSI strerror_r, and each one's
# CPU time per call on 2 threads against 1. Medians of REPS repetitions (default 5).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
reps=${REPS:-5}

cmake --preset native >/dev/null
cmake --build --preset native --target errstr-bench >/dev/null
csv=$(mktemp)
trap 'rm -f "$csv"' EXIT
build/native/bench/errstr-bench --benchmark_repetitions="$reps" \
    --benchmark_report_aggregates_only=true --benchmark_out="$csv" --benchmark_out_format=csv

# Rows look like "errstr_tls/unknown:0/threads:1_median",iterations,real_time,cpu_time,...
awk -F, '
    $1 ~ /_median"?$/ {
        split($1, part, "/"); gsub(/"/, "", part[1])
        unknown = substr(part[2], 9); threads = substr(part[3], 9); sub(/_median"?$/, "", threads)
        ns[part[1], unknown, threads] = $4
    }
    END {
        printf "\n%-8s %-7s %10s %10s %10s %10s %8s %8s\n", "numbers", "threads", "tls ns",
               "tsd ns", "libc ns", "xsi_r ns", "tls/xsi", "tsd/xsi"
        for (u = 0; u <= 1; u++) for (t = 1; t <= 2; t++) {
            x = ns["xsi_strerror_r", u, t]
            printf "%-8s %-7d %10.1f %10.1f %10.1f %10.1f %8.2f %8.2f\n", u ? "unknown" : "known", t,
                   ns["errstr_tls", u, t], ns["errstr_tsd", u, t], ns["libc_strerror", u, t], x,
                   ns["errstr_tls", u, t] / x, ns["errstr_tsd", u, t] / x
        }
        printf "\nper-call time, 2 threads / 1 thread:\n"
        for (u = 0; u <= 1; u++) {
            printf "  %-8s", u ? "unknown" : "known"
            split("errstr_tls errstr_tsd libc_strerror xsi_strerror_r", name, " ")
            for (n = 1; n <= 4; n++)
                printf " %s %.2f", name[n], ns[name[n], u, 2] / ns[name[n], u, 1]
            printf "\n"
        }
    }' "$csv"
