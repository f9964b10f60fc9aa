#!/bin/bash
# The i686 suite inside its VM (see suite-run.sh), as the guest's first process: the system
# mounts that the tests expect, then the build's own ctest, every case through suite-case.sh,
# which records each result in the shared results folder. The verdict (the suite ran to its
# end) goes out through the isa-debug-exit port; the cases' own results are in the folder.
set -u
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 MECH_VM_GUEST=1
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm /dev/mqueue
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts /dev/pts
ln -sf pts/ptmx /dev/ptmx
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
# /tmp and /run stay on the overlay (RAM as well): the build, or the results folder, may lie
# below /tmp, and a fresh mount there would hide them.
mount -t mqueue mqueue /dev/mqueue
ip link set lo up
hostname i686-suite

# The ctest of the host's run, less this fixture, which started the VM.
cd "$MECH_BUILD" || exit 1
# shellcheck disable=SC2086 # MECH_VM_SUITE_ARGS is a list of ctest arguments
ctest --test-dir "$MECH_BUILD" -j 2 --output-on-failure -E '^i686-vm-suite$' -FS i686_vm_suite \
    $MECH_VM_SUITE_ARGS 2>&1 | tee "$MECH_RESULTS/ctest.log" >/dev/console
status=${PIPESTATUS[0]}

# Failed cases kept their temporary folders ("harness: kept PATH, ..."): bring them out.
grep -h '^harness: kept ' "$MECH_RESULTS"/cases/*.out 2>/dev/null | cut -d' ' -f3 | tr -d , |
    while read -r dir; do
        cp -a "$dir" "$MECH_RESULTS/kept/" 2>/dev/null
    done
echo "$status" >"$MECH_RESULTS/verdict"
sync
# isa-debug-exit: qemu ends with status (value << 1) | 1, so 0x10 gives 33.
printf '\020' | dd of=/dev/port bs=1 seek=244 count=1 2>/dev/null
echo o >/proc/sysrq-trigger
sleep 10
