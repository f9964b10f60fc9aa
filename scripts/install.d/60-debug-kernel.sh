#!/usr/bin/env bash
# Builds the debug kernel the modules are also tested in, from Debian 12's linux-source-6.1
# (fetched with `apt-get download`; nothing is installed). The configuration starts from
# allnoconfig and adds only what the test guest needs (serial console, initramfs, modules,
# /dev/port for the debug-exit device) and the kernel's own checkers: lockdep with
# PROVE_LOCKING, PROVE_RCU and PROVE_RCU_LIST, DEBUG_OBJECTS_RCU_HEAD, DEBUG_ATOMIC_SLEEP,
# KASAN, and the soft-lockup, hard-lockup and hung-task detectors. Built once into
# <cache>/debug-<version>-<options' hash>/ (kernel: the bzImage; headers: the build tree,
# which modules are built against; busybox), named by <cache>/debug; a changed option list
# builds anew. About 9 minutes on two cores. The kernel's style checker comes from the same
# source: <cache>/checkpatch names its tree (scripts/checkpatch.pl and its data files).
# Idempotent: a second run only checks. MECH_KERNEL_CACHE overrides the folder.
set -euo pipefail
cache=${MECH_KERNEL_CACHE:-/var/cache/mechanisms/kernel}
package=linux-source-6.1
# Every option the guest and the checkers need. The build stops if one of them is not set once
# the configuration has resolved its dependencies. MODULE_SIG (not enforced) makes the kernel
# log the same line on loading an unsigned module as Debian's kernels do. ACPI, the HPET,
# high-resolution timers and a tickless idle give it the clocks and timers Debian's kernels
# run on (without them it kept time by the tick alone, and once in about twenty boots on a
# loaded machine the guest stalled without a word). KASAN's checks are calls rather than
# inline code: quicker to build, and the guest spends its time waiting anyway.
options=(
    SMP PCI ACPI HPET_TIMER HIGH_RES_TIMERS NO_HZ_IDLE PRINTK TTY SERIAL_8250 SERIAL_8250_CONSOLE
    BLK_DEV_INITRD BINFMT_ELF BINFMT_SCRIPT PROC_FS SYSFS DEVTMPFS DEVPORT MULTIUSER
    MODULES MODULE_UNLOAD MODULE_SIG HZ_250 PREEMPT_DYNAMIC KALLSYMS
    DEBUG_KERNEL PROVE_LOCKING PROVE_RCU RCU_EXPERT PROVE_RCU_LIST DEBUG_OBJECTS
    DEBUG_OBJECTS_RCU_HEAD DEBUG_ATOMIC_SLEEP KASAN KASAN_GENERIC KASAN_OUTLINE PERF_EVENTS
    SOFTLOCKUP_DETECTOR HARDLOCKUP_DETECTOR DETECT_HUNG_TASK
)

version=$(apt-cache policy "$package" | sed -n 's/^ *Candidate: //p')
if [ -z "$version" ] || [ "$version" = "(none)" ]; then
    echo "60-debug-kernel.sh: no $package in the package lists" >&2
    exit 1
fi
name=debug-$version-$(printf '%s\n' "${options[@]}" | md5sum | cut -c1-8)
dir=$cache/$name
if [ -f "$dir/ready" ]; then
    ln -sfn "$name" "$cache/debug"
    ln -sfn "$name/$package" "$cache/checkpatch"
    echo "60-debug-kernel.sh: debug kernel of $package $version present in $cache"
    exit 0
fi
start=$(date +%s)
rm -rf "$dir"
mkdir -p "$dir/debs" "$dir/root" "$dir/build"
(cd "$dir/debs" && apt-get -o APT::Sandbox::User=root download -qq "$package=$version")
dpkg -x "$dir"/debs/*.deb "$dir/root"
tar -xJf "$dir/root/usr/src/$package.tar.xz" -C "$dir"
rm -rf "$dir/debs" "$dir/root"
src=$dir/$package
build=$dir/build

make -s -C "$src" O="$build" ARCH=x86_64 allnoconfig
# PREEMPT with PREEMPT_DYNAMIC lets the guest choose preempt=none or full at boot, as with
# Debian's kernels.
args=(--set-str LOCALVERSION -mech-debug --disable PREEMPT_NONE --enable PREEMPT
    --disable KASAN_INLINE --disable HZ_PERIODIC)
for option in "${options[@]}"; do args+=(--enable "$option"); done
"$src/scripts/config" --file "$build/.config" "${args[@]}"
make -s -C "$src" O="$build" ARCH=x86_64 olddefconfig
for option in "${options[@]}"; do
    grep -qx "CONFIG_$option=y" "$build/.config" ||
        { echo "60-debug-kernel.sh: CONFIG_$option is not set" >&2; exit 1; }
done
# The bzImage to boot (this configuration's PVH entry resets the machine before its first line
# of output, so it does not boot as an ELF vmlinux as Debian's amd64 kernels do), and `modules`
# for the Module.symvers that modules built outside need.
make -s -C "$src" O="$build" ARCH=x86_64 -j "$(nproc)" bzImage modules
ln -sfn build/arch/x86/boot/bzImage "$dir/kernel"
ln -sfn build "$dir/headers"
ln -sfn /bin/busybox "$dir/busybox"
touch "$dir/ready"
ln -sfn "$name" "$cache/debug"
ln -sfn "$name/$package" "$cache/checkpatch"
echo "60-debug-kernel.sh: debug kernel of $package $version built in $cache" \
    "in $(($(date +%s) - start)) s"
