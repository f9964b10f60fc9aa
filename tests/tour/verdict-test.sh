#!/usr/bin/env bash
# The tour's failure lines and their two readers agree: lines written by the writers themselves
# (tour/lib.sh's failed facts with what shows them, a wait that runs out, and tour/tour's
# closing line of a play that could not complete) are each taken by tour/Verdict.pm and, but
# for the lines that show a fact, by the CMake regular expressions; the play's other lines,
# some holding the same words, by neither.
#   verdict-test.sh REGEX...   the CMake reader's regular expressions (tests/tour/CMakeLists.txt)
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
[ $# -gt 0 ] || { echo "usage: verdict-test.sh REGEX..." >&2; exit 2; }
work=$(mktemp -d /tmp/tour-verdict-XXXXXX)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# The writers' lines: on standard error the failure lines, on standard output the others.
(
    # shellcheck source=tour/lib.sh
    source "$root/tour/lib.sh"
    TOUR_DIR=$work # read by the checks of lib.sh
    export TOUR_DIR
    printf 'shown\nalso shown\n' >"$work/x.out"
    note "a note that says: did not complete, did not hold, tour: ✗"
    expect_output x "due"
    expect_that "a fact that did not hold" false
    wait_for x "never shown" 1
    note "the last note"
) >"$work/other" 2>"$work/failure"
# A play that cannot complete: no programs to play.
mkdir "$work/empty"
TOUR_NO_BUILD=1 TOUR_BUILD=$work/empty "$root/tour/tour" fork-copy >"$work/play" 2>/dev/null
grep -F '━━━ fork-copy: did not complete' "$work/play" >>"$work/failure" ||
    fail "the play without programs did not end with its closing line: $(cat "$work/play")"
head -n -1 "$work/play" >>"$work/other"
[ "$(wc -l <"$work/failure")" -eq 7 ] || fail "not the 7 failure lines due: $(cat "$work/failure")"

# Perl: every failure line, in its order, and nothing else.
verdict() { perl -I"$root/tour" -MVerdict=failure_lines -e 'local $/; print map { "$_\n" } failure_lines(<STDIN>)' <"$1"; }
[ "$(verdict "$work/failure")" = "$(cat "$work/failure")" ] ||
    fail "Verdict.pm took these of the failure lines: $(verdict "$work/failure")"
[ -z "$(verdict "$work/other")" ] || fail "Verdict.pm took these of the other lines: $(verdict "$work/other")"

# CMake: each failure line matches a regular expression, each other line none (the lines that
# show a fact follow it: the fact's own line fails the case).
cat >"$work/check.cmake" <<'EOF'
set(hit 0)
foreach(re IN LISTS regexes)
  if("\n${line}" MATCHES "${re}")
    set(hit 1)
  endif()
endforeach()
message("${hit}")
EOF
regexes=$(IFS=';' && echo "$*")
for kind in failure:1 other:0; do
    while IFS= read -r line; do
        [[ $kind == failure:* && $line == "           "* ]] && continue
        hit=$(cmake -D "line=$line" -D "regexes=$regexes" -P "$work/check.cmake" 2>&1)
        [ "$hit" = "${kind#*:}" ] || fail "the CMake reader matched $hit on this ${kind%:*} line: $line"
    done <"$work/${kind%:*}"
done
[ "$failed" -eq 0 ] && echo "the failure lines' readers in CMake and Perl take the writers' lines, and only them"
exit "$failed"
