#!/usr/bin/env bash
# tour.NAME: plays the scenario NAME (tour/tour NAME) and passes on what it shows, unchanged.
# The case fails as the play does, and also when the play shows nothing on standard output for
# longer than silence_limit seconds (times MECH_TIMEOUT_SCALE), at its start, between two lines
# or before its end: a learner cannot tell such a silence from a hang. The limit is a little
# over the longest pause left, the programs' own ten-second sleeps. The longest silence is said
# last, after the play's own lines.
#   play-test.sh NAME
set -uo pipefail
[ $# -eq 1 ] || { echo "usage: play-test.sh NAME" >&2; exit 2; }
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=tour/lib.sh
source "$root/tour/lib.sh"
readonly silence_limit=12

# Seconds with one decimal from microseconds.
seconds() { printf '%d.%d' $(($1 / 1000000)) $(($1 / 100000 % 10)); }

# Passes the play's lines on as they come; says the longest silence and the line it followed,
# and fails (a fact that did not hold, as the tour shows one) when it is over the limit.
watch_silence() {
    # The times are microseconds: EPOCHREALTIME with its separator ("." or ",") taken out.
    local line now last longest=0 after='(the start of the play)' longest_after=''
    local limit=$((silence_limit * ${MECH_TIMEOUT_SCALE:-1}))
    last=${EPOCHREALTIME//[.,]/}
    while IFS= read -r line; do
        now=${EPOCHREALTIME//[.,]/}
        if [ $((now - last)) -gt "$longest" ]; then
            longest=$((now - last)) longest_after=$after
        fi
        last=$now after=$line
        printf '%s\n' "$line"
    done
    now=${EPOCHREALTIME//[.,]/}
    [ $((now - last)) -le "$longest" ] || longest=$((now - last)) longest_after="$after (to the end)"
    printf '%s: the longest silence, %s s, followed: %s\n' "$1" "$(seconds "$longest")" "$longest_after"
    [ "$longest" -gt $((limit * 1000000)) ] || return 0
    _tour_failed "$1 showed nothing for $(seconds "$longest") s, more than ${limit} s, after: $longest_after"
    return 1
}

"$root/tour/tour" "$1" | watch_silence "$1"
statuses=("${PIPESTATUS[@]}")
[ "${statuses[0]}" -eq 0 ] || exit "${statuses[0]}"
exit "${statuses[1]}"
