#!/usr/bin/env bash
# Boots a Debian kernel of ARCH (x86_64 or i686) under qemu with the kernel modules in a
# busybox initramfs, runs SCENARIO (modules, modules-traced, faults, clock or mq) of
# vm/guest-init.sh in it and leaves in OUTDIR: console.log (the kernel console), results.log
# (what the guest reported on its second serial port) and terminal.log (what guest programs
# wrote on the third, a terminal).
# Its own status is the guest's verdict: 0 when the guest finished and every command ended as
# expected, 1 when it finished with a complaint, 2 when it gave no verdict (crash, hang).
#   vm-run.sh ARCH PREEMPT SCENARIO OUTDIR MODULE_DIR KERNEL_DIR [CLOCK_READER [PROGRAM...]]
# PREEMPT is none or full. MODULE_DIR is the folder of the modules built for the kernel (its
# faults/ folder, where there is one, too); KERNEL_DIR holds `kernel` (the boot image) and
# `busybox` (both as the build's kernel tables give them: vm/kernel-table.sh);
# CLOCK_READER is a static clock-reader for the guest (or ""); each PROGRAM, static too, goes
# into the guest's /bin under its own name.
set -euo pipefail
[ $# -ge 6 ] || { sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
arch=$1 preempt=$2 scenario=$3 out=$4 modules=$5 kdir=$6 reader=${7:-}
shift $(($# < 7 ? $# : 7))
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Generous: a run takes about a minute under TCG, more on a loaded machine.
readonly limit_seconds=$((900 * ${MECH_TIMEOUT_SCALE:-1}))
readonly memory=256M

# shellcheck disable=SC2100 # x86_64 and i686 are names, not sums
case "$arch" in
x86_64) qemu=qemu-system-x86_64 ;;
i686) qemu=qemu-system-i386 ;;
*) echo "vm-run: unknown architecture $arch" >&2; exit 2 ;;
esac
for need in "$kdir/kernel" "$kdir/busybox" "$modules/pilecore.ko"; do
    [ -e "$need" ] || { echo "vm-run: missing $need" >&2; exit 2; }
done

mkdir -p "$out"
root=$(mktemp -d "$out/initramfs.XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{bin,dev,proc,sys,tmp,modules}
cp "$kdir/busybox" "$root/bin/busybox"
ln -s busybox "$root/bin/sh"
cp "$here/guest-init.sh" "$root/init"
cp "$here/guest-trace-events.awk" "$here/guest-merge-events.awk" "$root/"
cp "$modules"/*.ko "$root/modules/"
[ -e "$modules/peers/clock-device.ko" ] && cp "$modules/peers/clock-device.ko" "$root/modules/"
# The broken copies, where they are built for this kernel (vm/faults/), for the faults scenario.
if [ -d "$modules/faults" ]; then
    mkdir -p "$root/modules/faults"
    cp "$modules"/faults/*.ko "$root/modules/faults/"
fi
[ -n "$reader" ] && cp "$reader" "$root/bin/clock-reader"
for program in "$@"; do cp "$program" "$root/bin/"; done
(cd "$root" && find . | cpio -o -H newc --quiet) >"$out/initramfs.cpio"

rm -f "$out/console.log" "$out/results.log" "$out/terminal.log"
# tsc=unstable: under TCG the TSC is not trustworthy, and the kernel's clocksource watchdog
# would otherwise interrupt the log with complaints about it. Every detector stays on (soft and
# hard lockups, RCU stalls, hung tasks); hung tasks are reported after 20 s rather than 120 s,
# so that a task blocked through the writer's 40 s window shows up. The guest's own waits are
# scaled as ours are (mech_timeout_scale).
status=0
timeout --kill-after=10 "$limit_seconds" "$qemu" \
    -accel tcg,thread=single -smp 2 -m "$memory" \
    -kernel "$kdir/kernel" -initrd "$out/initramfs.cpio" \
    -append "console=ttyS0 tsc=unstable preempt=$preempt sysctl.kernel.hung_task_timeout_secs=20 panic=-1 printk.time=0 loglevel=4 mech_scenario=$scenario mech_timeout_scale=${MECH_TIMEOUT_SCALE:-1}" \
    -display none -monitor none -no-reboot \
    -serial "file:$out/console.log" -serial "file:$out/results.log" \
    -serial "file:$out/terminal.log" \
    -device isa-debug-exit,iobase=0xf4,iosize=0x04 || status=$?
case "$status" in
33) exit 0 ;;
35) exit 1 ;;
*)
    echo "vm-run: no verdict from the guest (qemu ended with status $status)" >&2
    exit 2
    ;;
esac
