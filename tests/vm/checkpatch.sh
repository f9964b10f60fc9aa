#!/usr/bin/env bash
# The kernel's style check on the module sources: `checkpatch.pl --no-tree -f` must report no
# ERROR on any FILE (warnings are shown, not counted). Without checkpatch.pl it is a skip that
# says why (tests/missing.sh; in strict mode it fails).
#   checkpatch.sh CHECKPATCH FILE...
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: checkpatch.sh CHECKPATCH FILE..." >&2; exit 2; }
checkpatch=$1
shift
[ -x "$checkpatch" ] || exec "$(dirname "${BASH_SOURCE[0]}")/../missing.sh" "kernel files" \
    "no $checkpatch: run scripts/install.sh --tests"
status=0
for file in "$@"; do
    out=$("$checkpatch" --no-tree -f --show-types "$file" 2>&1) || true
    printf '%s\n' "$out"
    # Each file ends with its own summary line; without it checkpatch did not check the file.
    if ! grep -q '^total: 0 errors, ' <<<"$out"; then
        echo "checkpatch.sh: $file: errors, or no summary line" >&2
        status=1
    fi
done
exit "$status"
