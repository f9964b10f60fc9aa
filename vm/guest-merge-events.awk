# A report's kernel-log lines and trace events in time order (vm/guest-init.sh's traced_log,
# in the guest's busybox awk): the step's kernel-log lines (input: "<L>[SECONDS] TEXT", dmesg
# -r with printk times) and its trace events (the file EVENTS, "SECONDS TEXT", from
# guest-trace-events.awk) merged as report records ("M trace SECONDS TEXT", "M log <L>TEXT"),
# the log lines without their times as in an untraced report.
#   dmesg -r -c | awk -v m=MARKER -v events=EVENTS -f guest-merge-events.awk
BEGIN {
    while ((getline line < events) > 0) {
        n++; et[n] = line; sub(/ .*/, "", et[n]); ex[n] = substr(line, length(et[n]) + 2)
    }
    i = 1
}
{
    level = $0; sub(/\[.*/, "", level)
    t = $0; sub(/^[^[]*\[ */, "", t); sub(/\].*/, "", t)
    text = $0; sub(/^[^]]*\] ?/, "", text)
    for (; i <= n && et[i] + 0 <= t + 0; i++) print m " trace " et[i] " " ex[i]
    print m " log " level text
}
END { for (; i <= n; i++) print m " trace " et[i] " " ex[i] }
