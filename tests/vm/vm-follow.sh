#!/usr/bin/env bash
# Follows a guest's results.log (see guest-init.sh) as it grows and shows it readably: each
# step's command and status, its output, and the kernel-log lines it caused; the boot log is
# left out. Ends when the guest reports that it is done.
#   vm-follow.sh RESULTS_LOG
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: vm-follow.sh RESULTS_LOG" >&2; exit 2; }
tail -n +1 -F "$1" 2>/dev/null | awk '
    { sub(/\r$/, "") }
    $1 != "@@VM-RESULT@@" { next }
    { kind = $2; text = $0; sub(/^@@VM-RESULT@@ [^ ]* ?/, "", text) }
    kind == "step" {
        step = $3; rc = $5; sub(/:$/, "", rc)
        cmd = text; sub(/^[^:]*: ?/, "", cmd)
        if (step == "boot") print "(the kernel has booted; the boot log is not shown)"
        else if (step != "final") printf "$ %s   [status %s]\n", cmd, rc
        fflush(); next
    }
    kind == "out" { print "    " text; fflush(); next }
    kind == "log" && step != "boot" { print "    " text; fflush(); next }
    kind == "done" { print "(the guest is done)"; fflush(); exit }
    kind != "end" && kind != "log" { print "(" kind " " text ")"; fflush() }
'
