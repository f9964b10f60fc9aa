#!/usr/bin/env bash
# Summarises the skipped cases of a build's last ctest run, by reason: each skip says
# "missing PREREQUISITE: detail" (HARNESS_SKIP in tests/harness/check.hpp for GoogleTest cases,
# tests/missing.sh for shell tests and the stand-ins of tests that cannot be built).
#   scripts/skips.sh BUILD_DIR
# Prints nothing and succeeds when nothing was skipped; otherwise prints the summary and
# ends with status 1.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: scripts/skips.sh BUILD_DIR" >&2; exit 2; }
log=$1/Testing/Temporary/LastTest.log
[ -e "$log" ] || { echo "skips: no ctest run in $1" >&2; exit 2; }
# Each test's block in the log starts "N/M Test: NAME"; GoogleTest reports a skip as
# "FILE:LINE: Skipped", the reason on the next line, then "[  SKIPPED ] NAME"; tests/missing.sh
# as one line "skipped: REASON".
summary=$(awk '
    function skipped(name, detail,    why) {
        if (name in seen) return
        seen[name] = 1
        why = detail
        sub(/:.*/, "", why)
        count[why]++
        names[why] = names[why] "    " name "  (" detail ")\n"
    }
    /^[0-9]+\/[0-9]+ Test: / { name = $3; next }
    /: Skipped$/ { want = 1; next }
    want { reason[name] = $0; want = 0; next }
    /^\[  SKIPPED \] / { skipped(name, (name in reason) ? reason[name] : "no reason given") }
    /^skipped: / { skipped(name, substr($0, 10)) }
    END { for (why in count) printf "  %s: %d\n%s", why, count[why], names[why] }
' "$log")
[ -z "$summary" ] && exit 0
echo "skipped cases, by reason:"
printf '%s\n' "$summary"
exit 1
