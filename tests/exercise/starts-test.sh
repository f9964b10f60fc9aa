#!/usr/bin/env bash
# The starting files (a CTest case exercise.starts, native preset): every deliverable's
# starting file, as `exercise start` writes it, builds in place of our source, and a sample
# of them scores nothing, or close to it (at most one check passed); and where start may write.
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

# start writes only into a folder of the caller's alone, never through a link nor over a file:
# a folder another user owns, one others may write and a link to one are refused; a file, or a
# planted link, where the starting file would go is left as it is; a new folder is made 0700.
mkdir -m 700 "$work/theirs" "$work/open" "$work/mine"
chown nobody "$work/theirs"
chmod 777 "$work/open"
ln -s "$work/open" "$work/link"
ln -s "$work/planted" "$work/mine/mail-menu.cpp"
for dir in theirs open link mine; do
    if "$exercise" start mail-menu "$work/$dir" >/dev/null 2>&1 || [ -e "$work/planted" ] ||
        [ -f "$work/open/mail-menu.cpp" ] || [ -f "$work/theirs/mail-menu.cpp" ]; then
        echo "✗ start wrote into $dir"
        failed=1
    fi
done
"$exercise" start mail-menu "$work/new/folder" >/dev/null
[ "$(stat -c %a "$work/new/folder")" = 700 ] || { echo "✗ start made a folder others may enter"; failed=1; }

mapfile -t names < <("$exercise" list | awk '{ print $1 }')
for name in "${names[@]}"; do
    "$exercise" start "$name" "$work" >/dev/null
done
"$exercise" build "$work" || failed=1

for name in "${sample[@]}"; do
    file=$(find "$work" -maxdepth 1 -name "$name.*")
    out=$("$exercise" check "$name" "$file" || true)
    printf '%s\n' "$out" | grep -v '^passed\|^FAILED\|^ '
    # The most any of its builds (x86_64, and i686 where it runs here) passed.
    passed=$(printf '%s\n' "$out" | sed -n 's|^score: \([0-9]*\)/.*|\1|p' | sort -n | tail -1)
    if [ -z "$passed" ] || [ "$passed" -gt "$most_passed" ]; then
        echo "✗ the starting file of $name passed ${passed:-an unknown number of} checks"
        failed=1
    fi
done
exit "$failed"
