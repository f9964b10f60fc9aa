#!/usr/bin/env bash
# The packages on one release, as a user's machine gets them:
#   tests/packages/root-test.sh RELEASE DEBS BUILD
# RELEASE is 12 or 13, DEBS the built packages, BUILD the native build whose vm_test boots the
# modules. A fresh root: <roots>/packages-debianRELEASE (scripts/install.d/75-package-roots.sh),
# never written; scripts/in-root.sh --changes keeps what the checks change in a folder of this
# run's own, thrown away afterwards. In that root, in-root-check.sh installs the packages and
# checks them; on Debian 12 the i386 package's programs then run in the i686 VM (this kernel
# runs no 32-bit programs); in-root-check.sh purges the packages. Last, the modules DKMS built
# there are booted on that root's own kernel, in the kernel VM, through the module case of
# vm_test (KernelModules.LoadUnloadWindowAndLog) pointed at them. Ends with status 1 when a
# check failed, and keeps its folder then (named on the last line).
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
# The changes are an overlay's upper layer: on a file system of the machine's own kind (with
# user.* attributes), not on a tmpfs /tmp. The folder is also the i686 VM's results folder,
# which the guest reads the changes from.
work=$(mktemp -d /var/tmp/mech-packages-debian"$release".XXXXXX)
changes=$work/changes out=$work/out
mkdir -p "$out"

# in_root PHASE [ARG...]: a phase of in-root-check.sh in the root, as the earlier phases left it.
in_root() {
    "$repo/scripts/in-root.sh" --changes "$changes" --bind "$repo" --bind "$cache" --bind "$out" \
        --bind "$debs" "$fresh" \
        bash "$repo/tests/packages/in-root-check.sh" "$repo" "$debs" "$cache" "$out" "$release" "$@"
}

# The i386 programs in the i686 VM (tests/vm/suite-run.sh) on Debian 12's amd64 kernel of the
# kernel cache: the guest (i386-guest.sh) stacks the changes over the fresh root itself.
i386_in_vm() {
    MECH_VM_SUITE_GUEST=$repo/tests/packages/i386-guest.sh \
        "$repo/tests/vm/suite-run.sh" "$fresh" "$work" "$MECH_KERNEL_CACHE/current/x86_64" \
        >"$out/i386-vm.log" 2>&1
    cat "$work/i386.log" 2>/dev/null || cat "$out/i386-vm.log"
    [ "$(cat "$work/verdict" 2>/dev/null)" = 0 ] ||
        { echo "FAILED: the i386 programs in the i686 VM (its console: $work/console.log)" && return 1; }
}

# phases: the install, the i386 programs and the purge, one after the other in the root.
phases() {
    local status=0
    in_root install || status=1
    if [ "$release" = 12 ]; then
        i386_in_vm || status=1
    fi
    in_root purge || status=1
    return "$status"
}
phases 2>&1 | tee "$out/root.log"
[ "${PIPESTATUS[0]}" = 0 ] || failed=1

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
rm -rf "$changes"
echo "root-test: Debian $release FAILED; its folder kept: $work"
exit 1
