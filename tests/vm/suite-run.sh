#!/usr/bin/env bash
# Runs the whole i686 suite once in a VM, on a real kernel, where this machine's kernel cannot
# run 32-bit programs: the first CTest case of the i686 preset there (a fixture every other
# case requires). Debian's amd64 kernel, which runs 32-bit programs, boots under qemu with
# this machine's own filesystem shared read-only (9p) as the guest's root, behind a RAM
# overlay so that the guest may write anywhere, and RESULTS_DIR shared writable. The guest
# (suite-guest.sh) runs the same ctest on the same build; each case's output and status land
# in RESULTS_DIR/cases/, where the host's case (suite-case.sh) takes them.
#   suite-run.sh BUILD_DIR RESULTS_DIR KERNEL_DIR
# KERNEL_DIR holds `kernel` (Debian's amd64 kernel), `root/lib/modules/` (its modules) and
# `busybox`, from scripts/install.d/50-kernels.sh. Left in RESULTS_DIR: console.log (the guest's whole
# console, its ctest run included), ctest.log, cases/ and kept/ (the temporary folders of
# failed cases). MECH_VM_SUITE_ARGS adds ctest arguments in the guest (e.g. "-R oracle").
# MECH_VM_SUITE_GUEST names another guest script to run in suite-guest.sh's place, with the same
# environment (tests/packages/ runs the i386 package's programs so): it writes RESULTS_DIR/verdict.
set -euo pipefail
[ $# -eq 3 ] || { sed -n '2,/^set /p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2; }
build=$(cd "$1" && pwd) results=$2 kdir=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# The whole suite takes some minutes under TCG; this bounds a guest that hangs.
readonly limit_seconds=$((1800 * ${MECH_TIMEOUT_SCALE:-1}))
readonly memory=3G
# What the guest needs to mount the shared root (virtio, 9p and overlayfs), and the socket
# diagnostics that `ss` asks for (a Debian system loads them on demand; the guest has no
# modprobe of its kernel).
readonly modules=(virtio_pci 9pnet_virtio 9p overlay tcp_diag udp_diag)

for need in "$kdir/kernel" "$kdir/busybox"; do
    [ -e "$need" ] || { echo "suite-run: missing $need: run scripts/install.sh" >&2; exit 1; }
done
moddir=$(echo "$kdir"/root/lib/modules/*/kernel)
[ -d "$moddir" ] || { echo "suite-run: no kernel modules in $kdir/root/lib/modules" >&2; exit 1; }

mkdir -p "$results"
results=$(cd "$results" && pwd)
rm -rf "$results/cases" "$results/kept" "$results/verdict" "$results/console.log"
mkdir -p "$results/cases" "$results/kept"
root=$(mktemp -d "$results/initramfs.XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{bin,dev,proc,sys,modules,host,rw,newroot}
cp "$kdir/busybox" "$root/bin/busybox"
ln -s busybox "$root/bin/sh"
cp "$here/suite-init.sh" "$root/init"

# The modules, each after those it depends on (from its modinfo "depends=" field).
declare -A loaded=()
order=()
add_module() {
    local name=${1//-/_} file dep
    [ -n "${loaded[$name]:-}" ] && return 0
    file=$(find "$moddir" -name "$name.ko" -o -name "${name//_/-}.ko" | head -n 1)
    [ -n "$file" ] || { echo "suite-run: kernel module $name not found in $moddir" >&2; exit 1; }
    loaded[$name]=1
    for dep in $(tr '\0' '\n' <"$file" | sed -n 's/^depends=//p' | tr ',' ' '); do
        add_module "$dep"
    done
    cp "$file" "$root/modules/$name.ko"
    order+=("$name")
}
for module in "${modules[@]}"; do add_module "$module"; done
echo "${order[*]}" >"$root/modules/order"

# What the guest runs, passed through the initramfs.
{
    printf 'export MECH_BUILD=%q MECH_RESULTS=%q MECH_GUEST_SCRIPT=%q\n' \
        "$build" "$results" "${MECH_VM_SUITE_GUEST:-$here/suite-guest.sh}"
    printf 'export MECH_STRICT=%q MECH_VM_SUITE_ARGS=%q\n' \
        "${MECH_STRICT:-}" "${MECH_VM_SUITE_ARGS:-}"
} >"$root/suite.env"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$results/initramfs.cpio"

echo "suite-run: the i686 suite in a VM on $(basename "$(dirname "$moddir")"); console: $results/console.log"
start=$(date +%s)
status=0
timeout --kill-after=10 "$limit_seconds" qemu-system-x86_64 \
    -accel tcg,thread=multi -smp 2 -m "$memory" \
    -kernel "$kdir/kernel" -initrd "$results/initramfs.cpio" \
    -append "console=ttyS0 tsc=unstable panic=-1 loglevel=4" \
    -display none -monitor none -no-reboot -serial "file:$results/console.log" \
    -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
    -virtfs "local,path=$results,mount_tag=results,security_model=none" \
    -device isa-debug-exit,iobase=0xf4,iosize=0x04 || status=$?
rm -f "$results/initramfs.cpio"
echo "suite-run: $(($(date +%s) - start)) s in the VM"
# isa-debug-exit: 33 when the guest ran its ctest to the end, whatever the cases did.
if [ "$status" -ne 33 ] || [ ! -s "$results/verdict" ]; then
    echo "suite-run: no verdict from the guest (qemu ended with status $status);" \
        "its whole console log: $results/console.log" >&2
    tail -n 40 "$results/console.log" >&2
    exit 1
fi
[ ! -e "$results/ctest.log" ] || sed -n '/tests passed/,$p' "$results/ctest.log"
kept=$(find "$results/kept" -mindepth 1 -maxdepth 1 | wc -l)
[ "$kept" -eq 0 ] || echo "suite-run: the folders of failed cases are kept in $results/kept"
echo "suite-run: the guest's ctest ended with status $(cat "$results/verdict"); each case reports its own result"
