#!/usr/bin/env bash
# A program that a scenario runs to its end but that never ends (a receiver whose message
# never comes) is stopped at the tour's limit, and the play is told why, instead of waiting
# for ever.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=tour/lib.sh
source "$root/tour/lib.sh"
# shellcheck disable=SC2034 # read by run (tour/lib.sh)
TOUR_RUN_SECONDS=1
TOUR_DIR=$(mktemp -d /tmp/tour-run-limit-XXXXXX)
trap 'rm -rf "$TOUR_DIR"' EXIT
status=0
err=$(run sleeper /bin/sleep 600 2>&1 >/dev/null) || status=$?
[ "$status" -eq 124 ] && [ "$err" = "tour: sleeper did not end within $((1 * ${MECH_TIMEOUT_SCALE:-1}))s" ] &&
    echo "run stopped a program that never ends" && exit 0
echo "FAIL: run ended with status $status, saying: $err"
exit 1
