#!/usr/bin/env bash
# The packages on one release, as a user's machine gets them:
#   tests/packages/root-test.sh RELEASE DEBS BUILD
# RELEASE is 12 or 13, DEBS the built packages, BUILD the native build whose vm_test boots the
# modules. A fresh root: an overlay of <roots>/packages-debianRELEASE (scripts/install.d/
# 75-package-roots.sh), thrown away afterwards. In it, in-root-check.sh installs the packages
# and checks them; on Debian 12 the i386 package's programs then run in the i686 VM (this
# kernel runs no 32-bit programs); in-root-check.sh purges the packages. Last, the modules DKMS
# built there are booted on that root's own kernel, in the kernel VM, through the module case
# of vm_test (KernelModules.LoadUnloadWindowAndLog) pointed at them. Ends with status 1 when a check failed, and keeps
# its folder then (named on the last line).
set -uo pipefail
[ $# -eq 3 ] || { sed -n '2,3p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
release=$1 debs=$(cd "$2" && pwd) build=$(cd "$3" && pwd)
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=scripts/paths.sh
source "$repo/scripts/paths.sh"
fresh=$MECH_ROOTS/packages-debian$release
cache=$MECH_ROOTS/packages-apt-debian$release
[ -x "$fresh/bin/sh" ] || { echo "root-test: no fresh Debian $release root in $fresh: run scripts/install.sh --tests"; exit 1; }
mkdir -p "$cache"
failed=0
# The overlay's upper layer must be on a file system of its own kind: not on a tmpfs /tmp.
if [ "${ROOT_TEST_INSIDE:-}" != 1 ]; then
    work=$(mktemp -d /var/tmp/mech-packages-debian"$release".XXXXXX)
    out=$work/out
    mkdir -p "$out" "$work/upper" "$work/work" "$work/root"
fi

# in_root PHASE [ARG...]: a phase of in-root-check.sh in the root.
in_root() {
    "$repo/scripts/in-root.sh" --bind "$repo" --bind "$cache" --bind "$out" --bind "$debs" "$work/root" \
        bash "$repo/tests/packages/in-root-check.sh" "$repo" "$debs" "$cache" "$out" "$release" "$@"
}

# The i386 programs in the i686 VM (tests/vm/suite-run.sh) on Debian 12's amd64 kernel of the
# kernel cache, with the root as the guest's folder to run them in (the tree bound at its own
# path inside, as in-root.sh does).
i386_in_vm() {
    mount --bind "$repo" "$work/root$repo"
    MECH_VM_SUITE_GUEST=$repo/tests/packages/i386-guest.sh \
        "$repo/tests/vm/suite-run.sh" "$work/root" "$out/i386-vm" "$MECH_KERNEL_CACHE/current/x86_64" \
        >"$out/i386-vm.log" 2>&1
    cat "$out/i386-vm/i386.log" 2>/dev/null || cat "$out/i386-vm.log"
    [ "$(cat "$out/i386-vm/verdict" 2>/dev/null)" = 0 ] ||
        { echo "FAILED: the i386 programs in the i686 VM (its console: $out/i386-vm/console.log)" && return 1; }
}

# The root: an overlay in a mount namespace of this script's own, which goes with it.
if [ "${ROOT_TEST_INSIDE:-}" != 1 ]; then
    ROOT_TEST_INSIDE=1 ROOT_TEST_WORK=$work unshare --mount --propagation private "$0" "$@" 2>&1 |
        tee "$out/root.log"
    [ "${PIPESTATUS[0]}" = 0 ] || failed=1
else
    work=$ROOT_TEST_WORK out=$work/out
    mount -t overlay overlay -o "lowerdir=$fresh,upperdir=$work/upper,workdir=$work/work" "$work/root" ||
        exit 1
    in_root install || failed=1
    if [ "$release" = 12 ]; then
        i386_in_vm || failed=1
    fi
    in_root purge || failed=1
    exit "$failed"
fi

# The modules on the root's own kernel, with the matrix's busybox for the guest.
echo "--- the modules DKMS built, in the VM on the root's own kernel"
ln -sfn "$MECH_KERNEL_CACHE/current/x86_64/busybox" "$out/kernel/busybox"
if [ -s "$out/kernel/kernel" ] && [ -s "$out/modules/pilecore.ko" ]; then
    MECH_STRICT=1 MECH_VM_KERNEL="debian$release:x86_64:full:$out/kernel:$out/modules" \
        "$build/tests/vm_test" --gtest_filter="Vm/KernelModules.LoadUnloadWindowAndLog/debian${release}_full" \
        >"$out/vm.log" 2>&1
    status=$?
    if [ "$status" = 0 ] && grep -q '^\[  PASSED  \] 1 test' "$out/vm.log"; then
        echo "ok: the modules DKMS built pass the module case on the root's own kernel"
    else
        cat "$out/vm.log"
        echo "FAILED: the module case on the root's own kernel"
        failed=1
    fi
else
    echo "FAILED: no kernel image or modules from the root to boot"
    failed=1
fi

if [ "$failed" = 0 ]; then
    rm -rf "$work"
    exit 0
fi
rm -rf "$work/upper" "$work/work"
echo "root-test: Debian $release FAILED; its folder kept: $work"
exit 1
