#!/usr/bin/env bash
# Builds the debug kernel the modules are also tested in (the tests' level only:
# `60-debug-kernel.sh tests`), from Debian 12's linux-source-6.1 (fetched with `apt-get
# download` through debian12.sh; nothing is installed) and with the compiler Debian 12's 6.1
# kernels are built with (gcc-12, named in the build tree's .kernelvariables, so that the
# modules built against it later use it too). The configuration starts from allnoconfig and
# adds only what the test guest needs (serial console, initramfs, modules, /dev/port for the
# debug-exit device) and the kernel's own checkers: lockdep with PROVE_LOCKING, PROVE_RCU and
# PROVE_RCU_LIST, DEBUG_OBJECTS_RCU_HEAD, DEBUG_ATOMIC_SLEEP, KASAN, and the soft-lockup,
# hard-lockup and hung-task detectors. Built once into <cache>/debug-<version>-<hash of the
# options and compiler>/ (kernel: the bzImage; headers: the build tree, which modules are
# built against; busybox), named by <cache>/debug; a changed option list builds anew. About 9
# minutes on two cores, with a line of progress at least every 20 s. The kernel's style
# checker comes from the same source: <cache>/checkpatch names its tree (scripts/checkpatch.pl
# and its data files). Idempotent: a second run only checks. MECH_KERNEL_CACHE overrides the
# folder.
set -euo pipefail
level=${1:-tour}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/paths.sh
source "$here/../paths.sh"
cache=$MECH_KERNEL_CACHE
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

# The compiler of Debian 12's 6.1 kernels, for the kernel and every module built against it.
compiler=gcc-12
kernelvariables="CC = $compiler"

[ "$level" = tests ] || exit 0
# shellcheck source=scripts/progress.sh
source "$here/../progress.sh"
# shellcheck source=scripts/install.d/debian12.sh
source "$here/debian12.sh"
[ -f "$debian12_dir/sources.list" ] || debian12_update >/dev/null
version=$(debian12 apt-cache policy "$package" | sed -n 's/^ *Candidate: //p')
if [ -z "$version" ] || [ "$version" = "(none)" ]; then
    echo "60-debug-kernel: no $package in Debian 12's package lists" >&2
    exit 1
fi
name=debug-$version-$(printf '%s\n' "${options[@]}" "$kernelvariables" | md5sum | cut -c1-8)
dir=$cache/$name
if [ -f "$dir/ready" ]; then
    ln -sfn "$name" "$cache/debug"
    ln -sfn "$name/$package" "$cache/checkpatch"
    echo "60-debug-kernel: debug kernel of $package $version present in $cache"
    exit 0
fi
command -v "$compiler" >/dev/null ||
    { echo "60-debug-kernel: $compiler is missing (50-kernels.sh installs it)" >&2; exit 1; }
src=$dir/$package
build=$dir/build

fetch() {
    rm -rf "$dir"
    mkdir -p "$dir/root" "$build"
    debian12_fetch "$dir/debs" "$package=$version"
    dpkg -x "$dir"/debs/*.deb "$dir/root"
    tar -xJf "$dir/root/usr/src/$package.tar.xz" -C "$dir"
    rm -rf "$dir/debs" "$dir/root"
}

configure() {
    # Read by Debian's kernel Makefile in the build tree, here and when modules are built.
    echo "$kernelvariables" >"$build/.kernelvariables"
    make -C "$src" O="$build" ARCH=x86_64 allnoconfig
    # PREEMPT with PREEMPT_DYNAMIC lets the guest choose preempt=none or full at boot, as with
    # Debian's kernels.
    local -a args=(--set-str LOCALVERSION -mech-debug --disable PREEMPT_NONE --enable PREEMPT
        --disable KASAN_INLINE --disable HZ_PERIODIC)
    for option in "${options[@]}"; do args+=(--enable "$option"); done
    "$src/scripts/config" --file "$build/.config" "${args[@]}"
    make -C "$src" O="$build" ARCH=x86_64 olddefconfig
    for option in "${options[@]}"; do
        grep -qx "CONFIG_$option=y" "$build/.config" ||
            { echo "60-debug-kernel: CONFIG_$option is not set" >&2; return 1; }
    done
}

# The bzImage to boot (this configuration's PVH entry resets the machine before its first line
# of output, so it does not boot as an ELF vmlinux as Debian's amd64 kernels do), and `modules`
# for the Module.symvers that modules built outside need.
compile() {
    make -C "$src" O="$build" ARCH=x86_64 -j "$(nproc)" bzImage modules
}

start=$(date +%s)
logs=$MECH_INSTALL_LOGS
progress_step 60-debug-kernel "fetching and unpacking $package $version" "$logs/debug-kernel-fetch.log" - fetch
progress_step 60-debug-kernel "configuring" "$logs/debug-kernel-configure.log" - configure
# compiled LOG: how far the build is; this configuration compiles about 1160 files.
compiled() { echo "$(progress_kbuild "$1") of about 1160"; }
progress_step 60-debug-kernel "building the bzImage and modules (about 9 min on 2 cores)" \
    "$logs/debug-kernel-build.log" compiled compile
ln -sfn build/arch/x86/boot/bzImage "$dir/kernel"
ln -sfn build "$dir/headers"
# The guest's shell: the default kernel's static busybox (50-kernels.sh).
ln -sfn ../current/x86_64/busybox "$dir/busybox"
touch "$dir/ready"
ln -sfn "$name" "$cache/debug"
ln -sfn "$name/$package" "$cache/checkpatch"
echo "60-debug-kernel: debug kernel of $package $version built in $cache" \
    "in $(progress_duration $(($(date +%s) - start)))"
