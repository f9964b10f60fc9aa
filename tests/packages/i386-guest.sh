#!/bin/bash
# In the i686 VM (tests/vm/suite-run.sh with MECH_VM_SUITE_GUEST), as the guest's first process:
# the i386 package's programs, which the host's kernel cannot run, run in the Debian root they
# were installed in (MECH_BUILD, shared from the host with the tree at its own path inside), as
# in-root-check.sh's phase "programs i386". Its lines go to RESULTS/i386.log, its status to
# RESULTS/verdict; the guest then ends through the isa-debug-exit port.
set -u
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
root=$MECH_BUILD
mount -t proc proc "$root/proc"
mount -t devtmpfs devtmpfs "$root/dev"
mkdir -p "$root$MECH_RESULTS"
mount --bind "$MECH_RESULTS" "$root$MECH_RESULTS"
chroot "$root" env -i PATH="$PATH" LANG=C.UTF-8 HOME=/root \
    bash "$repo/tests/packages/in-root-check.sh" "$repo" - - - 12 programs i386 \
    >"$MECH_RESULTS/i386.log" 2>&1
echo $? >"$MECH_RESULTS/verdict"
sync
# isa-debug-exit: qemu ends with status (value << 1) | 1, so 0x10 gives 33.
printf '\020' | dd of=/dev/port bs=1 seek=244 count=1 2>/dev/null
echo o >/proc/sysrq-trigger
sleep 10
