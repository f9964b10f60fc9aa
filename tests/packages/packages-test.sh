#!/usr/bin/env bash
# The Debian packages, the test command's part "packages" (scripts/test-all.sh):
#   tests/packages/packages-test.sh BUILD [RELEASE...]      (RELEASE 12 or 13; default both)
# builds them from a clean copy of the tree (scripts/build-packages.sh, into build/packages),
# has lintian check them (no error and no warning; each tag debian/*.lintian-overrides hides
# says why there), then installs, checks and purges them in a fresh root of each release
# (root-test.sh), the releases side by side, each line shown as "debianN| ...". BUILD is the
# native build, whose vm_test boots the modules. Says how long each step took; ends with
# status 1, naming what failed, when anything did.
set -uo pipefail
[ $# -ge 1 ] || { sed -n '2,3p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
build=$1
shift
releases=("$@")
[ "${#releases[@]}" -gt 0 ] || releases=(12 13)
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
debs=$repo/build/packages
failed=()

begun=$(date +%s)
if ! "$repo/scripts/build-packages.sh" "$debs"; then
    echo "packages-test: FAILED: building the packages"
    exit 1
fi
echo "packages-test: the packages built in $(($(date +%s) - begun)) s"

begun=$(date +%s)
# lintian warns that it runs as root, which is no tag; its tags are "E: ", "W: " and so on.
lintian --pedantic --display-info "$debs"/*.changes 2>&1 | grep -v '^running with root privileges' >"$debs/lintian.log"
if grep -q '^[EW]: ' "$debs/lintian.log"; then
    grep '^[EW]: ' "$debs/lintian.log"
    failed+=(lintian)
else
    echo "packages-test: lintian: no error and no warning ($(grep -c '^[IPX]: ' "$debs/lintian.log") infos and" \
        "pedantic notes in $debs/lintian.log), in $(($(date +%s) - begun)) s"
fi

# The releases side by side: each is mostly waiting on the archive, DKMS's compiler or a VM.
pids=()
for release in "${releases[@]}"; do
    (
        start=$(date +%s)
        "$repo/tests/packages/root-test.sh" "$release" "$debs" "$build" 2>&1 | sed -u "s/^/debian$release| /"
        status=${PIPESTATUS[0]}
        echo "debian$release| packages-test: Debian $release's checks took $(($(date +%s) - start)) s"
        exit "$status"
    ) &
    pids+=($!)
done
for i in "${!releases[@]}"; do
    wait "${pids[$i]}" || failed+=("debian${releases[$i]}")
done

if [ "${#failed[@]}" -gt 0 ]; then
    echo "packages-test: FAILED: ${failed[*]}"
    exit 1
fi
echo "packages-test: the packages build, are lintian clean, and install, work and purge on Debian ${releases[*]}"
