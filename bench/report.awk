# The table of bench/run (see bench/README.md for how to read it), from its samples: lines
# "KEY REPETITION VALUE", KEY a case's figure ("fortune.server.rate", "sysv_bare", ...).
#   awk -v reps=N -v conns=N -v quick=0|1 -v load_before=L -v load_after=L -v elapsed=S \
#       -v vm_arches="x86_64 i686" -f bench/report.awk SAMPLES
# Each row: the program's and the floor's median [min–max] over the repetitions, and the
# median [min–max] of their ratios, paired by repetition.

{ v[$1, $2] = $3; n[$1] = ($2 > n[$1] ? $2 : n[$1]) }

# Median, minimum and maximum of the values in a[1..k] (sorted in place), into med, lo, hi.
function stats(a, k,    i, j, t) {
    for (i = 2; i <= k; i++)
        for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    med = (k % 2) ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2
    lo = a[1]; hi = a[k]
}

# A figure's median [min–max] over the repetitions, each as FMT.
function spread(key, fmt,    a, i) {
    for (i = 1; i <= n[key]; i++) a[i] = v[key, i]
    stats(a, n[key])
    return sprintf(fmt " [" fmt "–" fmt "]", med, lo, hi)
}

# Ratio per repetition (program P against floor F, paired by repetition), then its spread.
# KIND "rate": program / floor; "time": program time / floor time; "inverse": floor time /
# program time (a rate ratio from times per round trip).
function ratio(p, f, kind,    a, i, k) {
    k = n[p] < n[f] ? n[p] : n[f]
    for (i = 1; i <= k; i++)
        a[i] = kind == "inverse" ? v[f, i] / v[p, i] : v[p, i] / v[f, i]
    stats(a, k)
    return sprintf("%.2f [%.2f–%.2f]", med, lo, hi)
}

function row(measure, against, p, f, kind, fmt, goal) {
    printf "| %s | %s | %s | %s | %s | %s |\n", measure, against, spread(p, fmt), spread(f, fmt),
           ratio(p, f, kind), goal
}

# The messages a case lost over all its repetitions.
function lost(key,    i, s) {
    for (i = 1; i <= n[key]; i++) s += v[key, i]
    return s
}

function heading() {
    printf "\n%s run: %d repetitions, median [min–max]; %d s; load average %s before, %s after\n\n",
           quick ? "Quick (smoke test, figures mean little)" : "Full", reps, elapsed,
           load_before, load_after
    print "| measure | against | program | floor | ratio | goal |"
    print "|---|---|---|---|---|---|"
}

# A forking server's size and process count over one long run of connections.
function flat(name, key) {
    printf "| %s: over %d connections | — | resident %d kB at the start, %d kB at most, %d kB at the end | processes at most %d (server and children) | — | flat |\n",
           name, conns, v[key ".rss_first_kb", 1], v[key ".rss_max_kb", 1],
           v[key ".rss_last_kb", 1], v[key ".procs_max", 1]
}

# Rows from a table: a line each, "MEASURE|AGAINST|PROGRAM KEY|FLOOR KEY|KIND|FORMAT|GOAL".
function rows(table,    lines, k, i, f) {
    k = split(table, lines, "\n")
    for (i = 1; i <= k; i++)
        if (split(lines[i], f, "|") == 7)
            row(f[1], f[2], f[3], f[4], f[5], f[6], f[7])
}

function server_rows() {
    rows("fortune exchanges/s through oracle-server|bare UDP ping-pong, same datagrams|fortune.server.rate|fortune.bare.rate|rate|%.0f|≥ 0.7×\n" \
         "connections/s through stream-dump-server|bare accept, fork, read, write, exit|fork.dump.rate|fork.bare.rate|rate|%.0f|≥ 0.8×\n" \
         "connections/s through stream-reply-server|bare accept, fork, read, write, exit|fork.reply.rate|fork.bare.rate|rate|%.0f|≥ 0.8×")
    flat("stream-dump-server", "flat.dump")
    flat("stream-reply-server", "flat.reply")
}

function queue_rows() {
    row(sprintf("messages/s drained by mq-thread-watch (lost: %d)", lost("mq.thread.lost")),
        "bare mq_receive loop, same queue", "mq.thread.rate", "mq.bare.rate", "rate", "%.0f",
        "≥ 0.8×, 0 lost")
    row(sprintf("messages/s drained by mq-thread-watch (lost: %d)", lost("mq.thread.lost")),
        sprintf("bare SIGEV_THREAD notification loop, same queue (lost: %d)",
                lost("mq.notify.lost")), "mq.thread.rate", "mq.notify.rate", "rate", "%.0f",
        "(ours against its mechanism)")
    row(sprintf("messages/s drained by mq-signal-watch (lost: %d)", lost("mq.signal.lost")),
        "bare mq_receive loop, same queue", "mq.signal.rate", "mq.bare.rate", "rate", "%.0f",
        "≥ 0.8×, 0 lost")
    row(sprintf("messages/s one at a time through mq-thread-watch (lost: %d)",
                lost("paced.thread.lost")), "bare blocking mq_receive, one at a time",
        "paced.thread.rate", "paced.bare.rate", "rate", "%.0f", "(what a notification costs)")
    row(sprintf("messages/s one at a time through mq-thread-watch (lost: %d)",
                lost("paced.thread.lost")),
        sprintf("bare SIGEV_THREAD notification loop, one at a time (lost: %d)",
                lost("paced.notify.lost")), "paced.thread.rate", "paced.notify.rate", "rate",
        "%.0f", "(ours against its mechanism)")
    row(sprintf("messages/s one at a time through mq-signal-watch (lost: %d)",
                lost("paced.signal.lost")), "bare blocking mq_receive, one at a time",
        "paced.signal.rate", "paced.bare.rate", "rate", "%.0f", "(what a notification costs)")
}

function sysv_rows() {
    rows("typed System V round trip, receiver-a order (ns CPU)|bare msgsnd/msgrcv (ns CPU)|sysv_typed_a|sysv_bare|inverse|%.0f|≥ 0.8× (rate)\n" \
         "typed System V round trip, receiver-b order (ns CPU)|bare msgsnd/msgrcv (ns CPU)|sysv_typed_b|sysv_bare|inverse|%.0f|≥ 0.8× (rate)\n" \
         "typed System V calls alone, nothing printed (ns CPU)|bare msgsnd/msgrcv (ns CPU)|sysv_typed_calls|sysv_bare|inverse|%.0f|(tells calls from printing)\n" \
         "typed round trip, receiver-a order, each line one fwrite (ns CPU)|bare msgsnd/msgrcv (ns CPU)|sysv_typed_a_fwrite|sysv_bare|inverse|%.0f|(what printing by line would give)")
}

# Each strerror object, known and unknown numbers, 1 and 2 threads, against XSI strerror_r.
function errstr_rows(    obj, o, u, t, p, f, name) {
    split("errstr_tls errstr_tsd", obj, " ")
    for (o = 1; o <= 2; o++) for (u = 0; u <= 1; u++) for (t = 1; t <= 2; t++) {
        p = obj[o] "/unknown:" u "/threads:" t
        f = "xsi_strerror_r/unknown:" u "/threads:" t
        name = obj[o]; gsub(/_/, "-", name)
        row(sprintf("strerror of %s, %s numbers, %d thread%s (ns CPU)", name,
                    u ? "unknown" : "known", t, t > 1 ? "s" : ""),
            "XSI strerror_r (ns CPU)", p, f, "time", "%.1f", o == 1 ? "≤ 1.2× (time)" : "≤ 2× (time)")
    }
}

function vm_rows(    arch, a, k, figure) {
    k = split(vm_arches, arch, " ")
    for (a = 1; a <= k; a++) {
        figure = quick ? "(full run only)" : spread("vm." arch[a], "%.1f")
        printf "| kernel VM, %s, clock scenario (no window): seconds from qemu start to verdict | — | %s | — | — | ≤ 15 s per variant |\n", arch[a], figure
    }
}

END {
    heading()
    server_rows()
    queue_rows()
    sysv_rows()
    errstr_rows()
    vm_rows()
}
