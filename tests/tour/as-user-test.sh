#!/usr/bin/env bash
# The tour as an ordinary user: four scenarios played by user nobody (or by the user running
# this, when that is not root), from a copy of the tour and the native build that nobody may
# read. Each must play to its end with its facts holding, as when root plays it; the parts
# that run a program as another user are left out, each with its note.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
readonly scenarios=(fortune pts-notify sysv-list clock)
readonly left_out=2 # pts-notify and sysv-list each run a program as nobody

copy=$(mktemp -d /tmp/tour-as-user-XXXXXX)
trap 'rm -rf "$copy"' EXIT
mkdir -p "$copy/build/native"
cp -a "$root/tour" "$root/scripts" "$root/vm" "$root/sandbox" "$copy/"
cp -a "$root"/build/native/{bin,lib,tools} "$copy/build/native/"
chmod -R a+rX "$copy"

as_user=() user=$(id -un)
[ "$(id -u)" -ne 0 ] || { as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups); user=nobody; }
out=$(cd / && TOUR_NO_BUILD=1 "${as_user[@]}" "$copy/tour/tour" "${scenarios[@]}" 2>&1)
status=$?
printf '%s\n' "$out"
failed=0
[ "$status" -eq 0 ] || { echo "FAIL: the tour ended with status $status"; failed=1; }
n=$(grep -c 'the tour runs as an ordinary user here and leaves this part out' <<<"$out")
[ "$n" -eq "$left_out" ] || { echo "FAIL: $n parts left out for an ordinary user, not $left_out"; failed=1; }
[ "$failed" -eq 0 ] && echo "tour as $user: ${scenarios[*]} played with their facts"
exit "$failed"
