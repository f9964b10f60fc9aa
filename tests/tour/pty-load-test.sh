#!/usr/bin/env bash
# tour-pty under a heavy load: image-plugins (whose last typed line, "quit", ends the program at
# once) played again and again beside busy loops, one more than there are cores. Every play
# must show each line typed into the viewer, once, and "quit" before the viewer's answer to it:
# a typed line shown only after the program had it was lost whenever the program ended first.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export TOUR_NO_BUILD=1
readonly plays=30 seconds=45
readonly typed=('open holiday.gif' 'open scan.tif' 'open BMP.BMP' 'save 0' 'quit')

hogs=()
trap 'kill "${hogs[@]}" 2>/dev/null' EXIT
for ((i = 0; i <= $(nproc); i++)); do
    (while :; do :; done) &
    hogs+=($!)
done

failed=0 played=0
fail() { echo "FAIL: play $played: $*"; failed=1; }
started=$SECONDS
while [ "$played" -lt "$plays" ] && [ $((SECONDS - started)) -lt "$seconds" ]; do
    played=$((played + 1))
    out=$("$root/tour/tour" image-plugins 2>&1) || { fail "the play failed"; printf '%s\n' "$out"; continue; }
    for line in "${typed[@]}"; do
        n=$(grep -cE "^ +[0-9]+\.[0-9]+s  viewer +< $line\$" <<<"$out")
        [ "$n" -eq 1 ] || fail "\"< $line\" shown $n times"
    done
    quit=$(grep -nE '^ +[0-9.]+s  viewer +< quit$' <<<"$out" | cut -d: -f1)
    answer=$(grep -n 'viewer: unloading' <<<"$out" | head -n 1 | cut -d: -f1)
    [ -z "$quit" ] || [ -z "$answer" ] || [ "$quit" -lt "$answer" ] ||
        fail "\"< quit\" shown after the viewer's answer to it"
done
[ "$failed" -eq 0 ] &&
    echo "$played plays beside ${#hogs[@]} busy loops in $((SECONDS - started)) s: every typed line shown once, before the answer"
exit "$failed"
