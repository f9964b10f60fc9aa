#!/usr/bin/env bash
# Summarises the skipped cases of a build's last ctest run, by reason: each skip says
# "missing PREREQUISITE: detail" (see HARNESS_SKIP in tests/harness/check.hpp).
#   scripts/skips.sh BUILD_DIR
# Prints nothing and succeeds when nothing was skipped; otherwise prints the summary and
# ends with status 1.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: scripts/skips.sh BUILD_DIR" >&2; exit 2; }
log=$1/Testing/Temporary/LastTest.log
[ -e "$log" ] || { echo "skips: no ctest run in $1" >&2; exit 2; }
# Each test's block in the log starts "N/M Test: NAME"; GoogleTest reports a skip as
# "FILE:LINE: Skipped", the reason on the next line, then "[  SKIPPED ] NAME".
summary=$(awk '
    /^[0-9]+\/[0-9]+ Test: / { name = $3; next }
    /: Skipped$/ { want = 1; next }
    want { reason[name] = $0; want = 0; next }
    /^\[  SKIPPED \] / && !(name in seen) {
        seen[name] = 1
        why = (name in reason) ? reason[name] : "no reason given"
        sub(/:.*/, "", why)
        count[why]++
        names[why] = names[why] "    " name "  (" reason[name] ")\n"
    }
    END { for (why in count) printf "  %s: %d\n%s", why, count[why], names[why] }
' "$log")
[ -z "$summary" ] && exit 0
echo "skipped cases, by reason:"
printf '%s\n' "$summary"
exit 1
