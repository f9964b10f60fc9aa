#!/usr/bin/env bash
# The starting files (a CTest case exercise.starts, native preset): every deliverable's
# starting file, as `exercise start` writes it, builds in place of our source, and a sample
# of them scores nothing, or close to it (at most one check passed).
#   tests/exercise/starts-test.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
exercise=$root/exercise/exercise
# Quick to check (their cases do not wait out long limits for what an empty program never
# does): two programs and the library.
readonly sample=(libcall-app sysv-queue-list somefunc-lib)
readonly most_passed=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

mapfile -t names < <("$exercise" list | awk '{ print $1 }')
for name in "${names[@]}"; do
    "$exercise" start "$name" "$work" >/dev/null
done
"$exercise" build "$work" || failed=1

for name in "${sample[@]}"; do
    file=$(find "$work" -name "$name.*")
    out=$("$exercise" check "$name" "$file" || true)
    printf '%s\n' "$out" | grep -v '^passed\|^FAILED\|^ '
    passed=$(printf '%s\n' "$out" | sed -n 's|^score: \([0-9]*\)/.*|\1|p')
    if [ -z "$passed" ] || [ "$passed" -gt "$most_passed" ]; then
        echo "✗ the starting file of $name passed ${passed:-an unknown number of} checks"
        failed=1
    fi
done
exit "$failed"
