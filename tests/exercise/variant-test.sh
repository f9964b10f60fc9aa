#!/usr/bin/env bash
# One subsystem's exercise checked both ways (a CTest case exercise.SUBSYSTEM, native preset):
#   tests/exercise/variant-test.sh SUBSYSTEM
# Our own source of the subsystem's deliverable (tests/exercise/variants) scores full marks
# (where the table says so); its wrong variant, wrong/SUBSYSTEM.patch applied to our source,
# fails exactly the checks that the table names and passes every other one. In strict mode (MECH_STRICT=1) a check
# that could not run here fails the case.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
[ $# -eq 1 ] || { sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
read -r _ name own lost < <(awk -v s="$1" '$1 == s' "$here/variants")
patch_file=$here/wrong/$1.patch
source=$(sed -n '1s|^--- a/||p' "$patch_file")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# checks OUTPUT KIND: the names of the checks OUTPUT printed as KIND (passed, FAILED, not run).
checks() { sed -n "s/^$2 \{1,\}\([^ ].*\)$/\1/p" "$1" | sed 's/: missing .*$//'; }

# verdict OUTPUT WHAT: complain about the checks of OUTPUT that could not run, in strict mode.
not_run() {
    if [ -n "$(checks "$1" 'not run')" ] && [ "${MECH_STRICT:-}" = 1 ]; then
        echo "strict mode: $2 left checks not run:"
        grep '^not run' "$1"
        failed=1
    fi
}

if [ "$own" = ours ]; then
    echo "== our $source as $name"
    status=0
    "$root/exercise/exercise" check "$name" "$root/$source" >"$work/ours" || status=$?
    cat "$work/ours"
    if [ "$status" -ne 0 ] || [ -z "$(checks "$work/ours" passed)" ]; then
        echo "✗ our own source did not score full marks (status $status)"
        failed=1
    fi
    not_run "$work/ours" "our source"
fi

echo "== the wrong variant: $(basename "$patch_file")"
mkdir "$work/variant"
patch -s -o "$work/variant/$(basename "$source")" "$root/$source" <"$patch_file"
"$root/exercise/exercise" check "$name" "$work/variant/$(basename "$source")" >"$work/variant.out" || true
cat "$work/variant.out"
while IFS= read -r check; do
    [[ $check =~ $lost ]] || { echo "✗ $check failed, but it is not about the mistake"; failed=1; }
done < <(checks "$work/variant.out" FAILED)
while IFS= read -r check; do
    [[ ! $check =~ $lost ]] || { echo "✗ $check passed, but it is about the mistake"; failed=1; }
done < <(checks "$work/variant.out" passed)
if [ -z "$(checks "$work/variant.out" FAILED)" ] || [ -z "$(checks "$work/variant.out" passed)" ]; then
    echo "✗ the variant must lose some checks and keep others"
    failed=1
fi
not_run "$work/variant.out" "the variant"
exit "$failed"
