#!/bin/bash
# In the i686 VM (tests/vm/suite-run.sh with MECH_VM_SUITE_GUEST), as the guest's first process:
# the i386 package's programs, which the host's kernel cannot run, run in the Debian root they
# were installed in, as in-root-check.sh's phase "programs i386". That root is the fresh one
# (MECH_BUILD) under the changes scripts/in-root.sh --changes kept in RESULTS/changes, which
# root-test.sh shares as the results folder: the guest stacks them, read-only, in an overlay of
# its own, with a /tmp and /dev/shm of its own and the tree bound at its own path (in-root.sh
# made that folder when it bound the tree there, unless the tree lies below /tmp, which is the
# guest's own here). The changes are read straight from the
# results share: the guest's root, an overlay itself, would hide their whiteouts. Its lines go
# to RESULTS/i386.log, its status to RESULTS/verdict; the guest then ends through the
# isa-debug-exit port.
set -u
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
root=/run/i386-root
mount -t proc proc /proc
mount -t devtmpfs devtmpfs /dev
mkdir -p "$root"
# userxattr: in-root.sh marks the changes' opaque folders with user.overlay.* attributes, the
# only ones the share passes.
status=1
{
    if mount -t overlay overlay -o "userxattr,lowerdir=$MECH_RESULTS/changes/upper:$MECH_BUILD" "$root" &&
        mount -t proc proc "$root/proc" && mount -t devtmpfs devtmpfs "$root/dev" &&
        mkdir -p "$root/dev/shm" && mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm" &&
        mount -t tmpfs -o mode=1777 tmpfs "$root/tmp" && { [ -d "$root$repo" ] || mkdir -p "$root$repo"; } &&
        mount --bind "$repo" "$root$repo"; then
        chroot "$root" env -i PATH="$PATH" LANG=C.UTF-8 HOME=/root \
            bash "$repo/tests/packages/in-root-check.sh" "$repo" - - - 12 programs i386 && status=0
    else
        echo "FAILED: the root's overlay and its mounts in the guest"
    fi
} >"$MECH_RESULTS/i386.log" 2>&1
echo "$status" >"$MECH_RESULTS/verdict"
sync
# isa-debug-exit: qemu ends with status (value << 1) | 1, so 0x10 gives 33.
printf '\020' | dd of=/dev/port bs=1 seek=244 count=1 2>/dev/null
echo o >/proc/sysrq-trigger
sleep 10
