#!/usr/bin/env bash
# The Debian kernels the modules are built for and booted in: the same whatever release the
# machine runs, all from Debian 12's archive (debian12.sh), fetched with `apt-get download` and
# unpacked with dpkg -x into the cache; /boot and the installed packages are not touched.
# Versions are read from the package lists on every run (a point release replaces a kernel's
# ABI, and the old packages leave the mirror).
#   50-kernels.sh tour     Debian 12's default kernel for x86_64, for the kernel scenarios
#   50-kernels.sh tests    also its 686 kernel, the newest 6.12 and the PREEMPT_RT kernel
# Each kernel's folder holds `kernel` (the boot image), `headers` (the tree modules are built
# against: its headers, their common half and the kbuild tools, all unpacked beside it),
# `busybox` (a static one for the guest, of the kernel's architecture) and `root/` (the
# unpacked packages). The default kernel is <cache>/<abi>/x86_64 (and i686), named by
# <cache>/current; the others are <cache>/<release>, named by <cache>/6.12-amd64 and
# <cache>/rt-amd64. Modules are built with the compiler the kernel was built with, as its
# headers name it: the machine's own gcc-N package, installed here if missing (Debian 13 has
# gcc-12 too). Idempotent: a second run only checks.
# MECH_KERNEL_CACHE overrides the cache folder.
set -euo pipefail
level=${1:-tour}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/paths.sh
source "$here/../paths.sh"
cache=$MECH_KERNEL_CACHE
logs=$MECH_INSTALL_LOGS
# shellcheck source=scripts/progress.sh
source "$here/../progress.sh"
# shellcheck source=scripts/install.d/debian12.sh
source "$here/debian12.sh"

# The cache's mark, without which the prune (90-prune.sh) removes nothing from the folder: a
# folder made here, an empty one and the default one (the install's own) get it; a folder that
# MECH_KERNEL_CACHE names and that already holds something else does not, and is never pruned.
if [ ! -f "$cache/$mech_kernel_cache_mark" ]; then
    if [ ! -e "$cache" ] || [ "$cache" = "$mech_kernel_cache_default" ] ||
        [ -z "$(ls -A "$cache")" ]; then
        mkdir -p "$cache"
        echo "The kernel cache scripts/install.sh fills; 90-prune.sh may remove what it holds." \
            >"$cache/$mech_kernel_cache_mark"
    else
        echo "50-kernels: $cache holds what the install did not put there" \
            "(no $mech_kernel_cache_mark): the kernels go in beside it, and nothing there is" \
            "ever pruned (touch $cache/$mech_kernel_cache_mark to let the install prune it)"
    fi
fi

# unpack_vmlinux VMLINUZ OUT: the ELF kernel inside VMLINUZ's xz (6.1) or zstd (6.12) stream,
# which qemu boots directly through its PVH entry (quicker than decompressing at boot).
unpack_vmlinux() {
    local vmlinuz=$1 out=$2 offset
    local -a unpack
    offset=$(LC_ALL=C grep -m1 -obUaP '\xfd7zXZ\x00' "$vmlinuz" | cut -d: -f1 || true)
    if [ -n "$offset" ]; then
        unpack=(xz -dc --single-stream)
    else
        offset=$(LC_ALL=C grep -m1 -obUaP '\x28\xb5\x2f\xfd' "$vmlinuz" | cut -d: -f1 || true)
        unpack=(zstd -dcq)
    fi
    [ -n "$offset" ] || { echo "no xz or zstd stream in $vmlinuz" >&2; return 1; }
    # The unpacker stops after the stream (zstd complains of the bytes that follow), so tail
    # may die of SIGPIPE and zstd end non-zero: the ELF header of the result is what counts.
    tail -c +"$((offset + 1))" "$vmlinuz" | "${unpack[@]}" >"$out" 2>/dev/null || true
    [ "$(head -c 4 "$out" | od -An -c | tr -d ' ')" = '177ELF' ] ||
        { echo "$vmlinuz did not unpack to an ELF kernel" >&2; return 1; }
}

# header_packages HEADERS ARCH: HEADERS and the packages of its tree it depends on (its common
# half and the kbuild tools, which must run here: always the amd64 ones).
header_packages() {
    echo "$1:$2"
    debian12 apt-cache depends "$1:$2" | sed -n 's/^ *Depends: <\{0,1\}\(linux-[^:>]*\).*/\1/p' |
        while read -r pkg; do
            case "$pkg" in
            linux-headers-*) echo "$pkg" ;;
            linux-kbuild-*) echo "$pkg:amd64" ;;
            esac
        done
}

# compiler HEADERS ARCH: the gcc-N that built the kernel of HEADERS (its headers depend on
# gcc-N or on linux-compiler-gcc-N-x86), installed from the machine's release if missing.
compiler() {
    local version
    version=$(debian12 apt-cache depends "$1:$2" | sed -nE 's/^ *Depends: (linux-compiler-)?gcc-([0-9]+)($|-x86).*/\2/p' | head -n 1)
    [ -n "$version" ] || { echo "no gcc-N among $1's dependencies" >&2; return 1; }
    command -v "gcc-$version" >/dev/null && return 0
    echo "50-kernels: installing gcc-$version, the compiler of Debian 12's kernels"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "gcc-$version" >/dev/null
}

# unpack_kernel DIR ARCH IMAGE HEADERS KEEP_MODULES: fetch IMAGE, HEADERS (with its tree) and
# a static busybox of ARCH (amd64 or i386), unpack them into DIR/root and make DIR's links.
unpack_kernel() {
    local dir=$1 arch=$2 image=$3 headers=$4 keep=$5 release deb makefile
    rm -rf "$dir"
    mkdir -p "$dir/root"
    mapfile -t packages < <(header_packages "$headers" "$arch")
    debian12_fetch "$dir/debs" "$image:$arch" "${packages[@]}" "busybox-static:$arch"
    for deb in "$dir"/debs/*.deb; do dpkg -x "$deb" "$dir/root"; done
    rm -rf "$dir/debs"
    release=${headers#linux-headers-}
    # The headers include their common half by absolute path: the one unpacked here.
    for makefile in "$dir"/root/usr/src/linux-headers-*/Makefile; do
        sed -i "s|^include /usr/src/|include $dir/root/usr/src/|" "$makefile"
    done
    [ "$keep" = keep ] || rm -rf "$dir/root/lib/modules/$release/kernel"
    if [ "$arch" = amd64 ]; then
        unpack_vmlinux "$dir/root/boot/vmlinuz-$release" "$dir/kernel"
    else
        # The 686 kernel has no PVH entry and boots as a bzImage.
        cp "$dir/root/boot/vmlinuz-$release" "$dir/kernel"
    fi
    ln -sfn "root/usr/src/linux-headers-$release" "$dir/headers"
    ln -sfn root/bin/busybox "$dir/busybox"
    touch "$dir/ready"
}

# kernel NAME DIR ARCH IMAGE HEADERS [keep]: one kernel, fetched unless DIR is ready.
kernel() {
    local name=$1 dir=$2 arch=$3 image=$4 headers=$5 keep=${6:-}
    compiler "$headers" "$arch"
    if [ -f "$dir/ready" ]; then
        echo "50-kernels: $name present in $dir"
        return 0
    fi
    progress_step 50-kernels "$name: fetching and unpacking" \
        "$logs/kernel-$(tr / - <<<"${dir#"$cache"/}").log" - unpack_kernel "$dir" "$arch" "$image" "$headers" "$keep"
}

# The ABI of Debian 12's default kernel: the newest whose x86_64, i686 and PREEMPT_RT kernels
# are all in the lists (the point release's, since the i686 kernel comes from there; a list a
# mirror failed to give may leave others out); both levels choose alike.
# kernel_packages ABI: the packages of ABI's x86_64, i686 and PREEMPT_RT kernels, as apt-cache
# names them (amd64, the private configuration's own architecture, without a suffix).
kernel_packages() {
    echo "linux-image-$1-amd64-unsigned" "linux-headers-$1-amd64" "linux-image-$1-686:i386" \
        "linux-headers-$1-686:i386" "linux-image-$1-rt-amd64-unsigned" "linux-headers-$1-rt-amd64"
}

default_abi() {
    local abi pkg have
    local -a abis wanted=()
    mapfile -t abis < <(debian12 apt-cache search --names-only '^linux-image-6\.1\.0-[0-9]+-amd64-unsigned$' |
        sed -n 's/^linux-image-\(6\.1\.0-[0-9]*\)-amd64-unsigned .*/\1/p' | sort -rV)
    for abi in "${abis[@]}"; do
        read -ra pkgs <<<"$(kernel_packages "$abi")"
        wanted+=("${pkgs[@]}")
    done
    [ "${#wanted[@]}" -gt 0 ] || return 1
    # One look at the lists for all of them ("NAME:" lines, each followed by its candidate).
    have=$(debian12 apt-cache policy "${wanted[@]}" 2>/dev/null |
        awk '/^[^ ]/ { name = substr($1, 1, length($1) - 1) } /^ *Candidate: [^(]/ { print name }')
    for abi in "${abis[@]}"; do
        for pkg in $(kernel_packages "$abi"); do
            grep -qxF "$pkg" <<<"$have" || continue 2
        done
        echo "$abi"
        return 0
    done
    return 1
}

progress_step 50-kernels "Debian 12's package lists" "$logs/kernel-lists.log" - debian12_update
abi=$(default_abi) ||
    { echo "50-kernels: no Debian 12 6.1 kernel for x86_64, i686 and PREEMPT_RT in the package lists" >&2; exit 1; }

# The default kernel keeps its modules: the i686 suite's VM loads virtio and 9p from them.
kernel "Debian 12's kernel $abi for x86_64" "$cache/$abi/x86_64" amd64 \
    "linux-image-$abi-amd64-unsigned" "linux-headers-$abi-amd64" keep
ln -sfn "$abi" "$cache/current"
[ "$level" = tests ] || exit 0

kernel "Debian 12's kernel $abi for i686" "$cache/$abi/i686" i386 \
    "linux-image-$abi-686" "linux-headers-$abi-686"
release=$(debian12 apt-cache search --names-only '^linux-image-6\.12\.[0-9]+\+deb12-amd64-unsigned$' |
    cut -d' ' -f1 | sed 's/^linux-image-//; s/-unsigned$//' | sort -V | tail -n 1)
[ -n "$release" ] || { echo "50-kernels: no 6.12 kernel in Debian 12's package lists" >&2; exit 1; }
kernel "Debian 12's kernel $release" "$cache/$release" amd64 \
    "linux-image-$release-unsigned" "linux-headers-$release"
ln -sfn "$release" "$cache/6.12-amd64"
kernel "Debian 12's PREEMPT_RT kernel $abi-rt-amd64" "$cache/$abi-rt-amd64" amd64 \
    "linux-image-$abi-rt-amd64-unsigned" "linux-headers-$abi-rt-amd64"
ln -sfn "$abi-rt-amd64" "$cache/rt-amd64"
