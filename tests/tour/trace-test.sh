#!/usr/bin/env bash
# tour/tour --trace on two scenarios: each datagram of fortune shows as a sendto under the
# process that sent it and a recvfrom under the one that took it, with its byte count, and the
# programs' own lines are those of a plain play; fork-copy shows the child's fork, the line
# the child wrote as its own, its exit with 100 and the parent's wait4 that collected that pid.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export TOUR_NO_BUILD=1
command -v strace >/dev/null || exec "$root/tests/missing.sh" strace "run scripts/install.sh"
failed=0
fail() { echo "FAIL: $*"; failed=1; }
count() { # count PATTERN N: N lines of $out match the extended regular expression PATTERN
    local n
    n=$(grep -cE -- "$1" <<<"$out")
    [ "$n" -eq "$2" ] || fail "$2 lines expected, $n found: $1"
}
at='^ +[0-9]+\.[0-9]+s  '

out=$("$root/tour/tour" --trace fortune) || fail "tour/tour --trace fortune failed"
count "${at}server +⚙ sendto\([0-9]+, \"Welcome to ZQ. what's your name\", 31, .*\) = 31$" 4
count "${at}client +⚙ recvfrom\([0-9]+, \"Welcome to ZQ. what's your name\", 31, .*\) = 31$" 4
count "${at}client +⚙ sendto\([0-9]+, \"\", 0, .*\) = 0$" 4
count "${at}server +⚙ recvfrom\([0-9]+, \"\", 512, .*\) = 0$" 4
for sent in 'bob 3' 'alice 5' 'ann 3' 'jos\\303\\251 5'; do
    set -- $sent
    count "${at}client +⚙ sendto\([0-9]+, \"$1\", $2, .*\) = $2$" 1
    count "${at}server +⚙ recvfrom\([0-9]+, \"$1\", $2, .*\) = $2$" 1
done
count "${at}(server|client) +⚙ sendto\(.* = [0-9]+$" 28
count "${at}(server|client) +⚙ recvfrom\(.* = [0-9]+$" 28
count "${at}(server|client) +⚙ \[" 0 # one process each, no children or threads
# The programs' own lines (output, errors, ends), label by label, are those of a plain play.
# shellcheck source=tour/lib.sh
source "$root/tour/lib.sh"
# The line_* variables are set by tour_line.
# shellcheck disable=SC2154
lines() {
    local line
    while IFS= read -r line; do
        tour_line "$line" && [[ $line_mark == [\|!=] ]] || continue
        printf '%s %s%s %s\n' "$line_label" "$line_mark" "$line_continued" "$line_text"
    done | sort -s -k1,1
}
plain=$("$root/tour/tour" fortune | lines)
[ "$(lines <<<"$out")" = "$plain" ] || fail "the programs' lines differ from a plain play"

out=$("$root/tour/tour" --trace fork-copy) || fail "tour/tour --trace fork-copy failed"
child=$(sed -nE "s/${at}demo +⚙ clone\(…\) = ([0-9]+)   \(a new process\)$/\1/p" <<<"$out")
[ -n "$child" ] || fail "no fork under demo"
count "${at}demo +\| \[child $child\]  end of child k = 44$" 1
count "${at}demo +⚙ \[child $child\] \+\+\+ exited with 100 \+\+\+$" 1
count "${at}demo +⚙ wait4\(-1, \[\{WIFEXITED\(s\) && WEXITSTATUS\(s\) == 100\}\], 0, NULL\) = $child$" 1

[ "$failed" -eq 0 ] && echo "tour --trace: fortune and fork-copy as expected"
exit "$failed"
