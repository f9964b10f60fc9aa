# The events a report of the guest shows (vm/guest-init.sh's traced_log, in the guest's
# busybox awk), from the kernel's trace (read from its start, each line "TASK-PID [CPU] FLAGS
# SECONDS: EVENT: DETAILS"), as "SECONDS TEXT": those after the marker "mech-report FROM" (from
# the start for 0) up to "mech-report TO". Each reader's init (its walk); pilefeed's
# publications and its calls of synchronize_rcu; the grace periods that start and end while
# such a call waits or a reader walks.
#   awk -v from=FROM -v to=TO -f guest-trace-events.awk TRACE
function took(d) { return d >= 1 ? sprintf("%.2f s", d) : sprintf("%.1f ms", d * 1000) }
function emit(text) { if (on) print t, text }
BEGIN { on = from == 0 }
/^#/ { next }
{
    cpu = 0
    for (i = 2; i <= NF; i++) if ($i ~ /^\[[0-9]+\]$/) { cpu = i; break }
    if (!cpu || NF < cpu + 3) next
    pid = $(cpu - 1); sub(/.*-/, "", pid)
    t = $(cpu + 2); sub(/:$/, "", t)
    ev = $(cpu + 3); sub(/:$/, "", ev)
}
ev == "tracing_mark_write" && $(NF - 1) == "mech-report" {
    if ($NF == to) exit
    if ($NF == from) on = 1
}
ev == "publish" && /out write/ { delete feed[pid] }
ev == "publish" && /in write/ { feed[pid] = 1; emit("pilefeed: list_replace_rcu() has published") }
ev == "sync_in" && pid in feed {
    sync[pid] = t; waiting++
    emit("pilefeed: calls synchronize_rcu()")
}
ev == "sync_out" && pid in sync {
    emit("pilefeed: synchronize_rcu() took " took(t - sync[pid]))
    delete sync[pid]; waiting--
}
ev == "gp_start" && (waiting || walking) { begun = 1; emit("RCU: a grace period begins") }
ev == "gp_end" && (waiting || walking) {
    emit(begun ? "RCU: the grace period ends" : "RCU: the grace period begun earlier ends")
}
ev == "gp_end" { begun = 0 }
ev ~ /^pilepeek.*_in$/ {
    name = ev; sub(/_in$/, "", name); walk[name pid] = t; walking++
    emit(name ": its walk begins")
}
ev ~ /^pilepeek.*_out$/ {
    name = ev; sub(/_out$/, "", name)
    if (name pid in walk) {
        emit(name ": its walk ends after " took(t - walk[name pid]))
        delete walk[name pid]; walking--
    }
}
