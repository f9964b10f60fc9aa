#!/usr/bin/env bash
# Root's contained sandbox, entered by a caller slower than bwrap. The caller reads bwrap's
# information (which names the sandbox's first process, whose ids it maps) from a pipe; one
# that opened the pipe only after bwrap had written to it and closed its end waited for ever.
# strace slows each of the caller's own openat(2) calls by 0.1 s; bwrap, not traced, keeps its
# pace.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
[ "$(id -u)" -eq 0 ] || exec "$root/tests/missing.sh" root "only root's contained sandbox maps the ids itself"
command -v strace >/dev/null || exec "$root/tests/missing.sh" strace "run scripts/install.sh"
limit=$((30 * ${MECH_TIMEOUT_SCALE:-1}))
timeout "$limit" strace -o /dev/null -e trace=openat -e inject=openat:delay_enter=100000 \
    "$root/sandbox/sandbox" --contain -- true
status=$?
[ "$status" -ne 124 ] || { echo "FAIL: the sandbox did not start in $limit s"; exit 1; }
[ "$status" -eq 0 ] || { echo "FAIL: the sandbox ended with status $status"; exit 1; }
echo "the contained sandbox started for a slow caller"
