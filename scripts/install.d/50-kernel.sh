#!/usr/bin/env bash
# Fetches what the kernel modules and their VM tests need beyond packages: the 686 kernel
# headers matching the installed amd64 ones (same ABI), both Debian kernel images and an
# i386 static busybox for the 32-bit guest. They
# come with `apt-get download` (the i386 ones through a private apt configuration, so the
# machine's dpkg architectures stay as they are) and are unpacked with dpkg -x into a cache
# folder; /boot and the installed packages are not touched. The images' compressed vmlinuz
# of amd64 is unpacked to an ELF vmlinux, which qemu boots directly through its PVH entry
# (faster than decompressing at boot); the 686 kernel has no PVH entry and boots as bzImage.
# Each architecture's boot image is <cache>/<abi>/<arch>/kernel.
# Beside them, the other amd64 kernels the modules are tested in (Debian 12's newest 6.12 and
# its PREEMPT_RT kernel of the installed ABI), each with its own headers, in
# <cache>/<release>/ (kernel, headers, busybox) and named by <cache>/<flavour>.
# Idempotent: a second run only checks. MECH_KERNEL_CACHE overrides the folder.
set -euo pipefail
cache=${MECH_KERNEL_CACHE:-/var/cache/mechanisms/kernel}

# The ABI of the headers that linux-headers-amd64 installed, e.g. 6.1.0-57.
abi=$(dpkg-query -W -f='${Depends}' linux-headers-amd64 | sed -n 's/.*linux-headers-\([0-9.]*-[0-9]*\)-amd64.*/\1/p')
if [ -z "$abi" ]; then
    echo "50-kernel.sh: linux-headers-amd64 is not installed; cannot tell the kernel ABI" >&2
    exit 1
fi
mkdir -p "$cache"

# vmlinuz holds an xz (6.1) or zstd (6.12) stream; unpack the first one to the ELF kernel.
unpack_vmlinux() {
    local vmlinuz=$1 out=$2 offset
    offset=$(LC_ALL=C grep -m1 -obUaP '\xfd7zXZ\x00' "$vmlinuz" | cut -d: -f1 || true)
    if [ -n "$offset" ]; then
        unpack=(xz -dc --single-stream)
    else
        offset=$(LC_ALL=C grep -m1 -obUaP '\x28\xb5\x2f\xfd' "$vmlinuz" | cut -d: -f1 || true)
        unpack=(zstd -dcq)
    fi
    [ -n "$offset" ] || { echo "50-kernel.sh: no xz or zstd stream in $vmlinuz" >&2; return 1; }
    # The unpacker stops after the stream (zstd complains of the bytes that follow), so tail
    # may die of SIGPIPE and zstd end non-zero: the ELF header of the result is what counts.
    tail -c +"$((offset + 1))" "$vmlinuz" | "${unpack[@]}" >"$out" 2>/dev/null || true
    [ "$(head -c 4 "$out" | od -An -c | tr -d ' ')" = '177ELF' ] ||
        { echo "50-kernel.sh: $vmlinuz did not unpack to an ELF kernel" >&2; return 1; }
}

# Debian 12's default kernel (the installed headers' ABI) for x86_64 and i686, in
# <cache>/<abi>/<arch>/, and <cache>/current naming it.
default_kernels() {
    if [ -f "$cache/$abi/ready" ]; then
        echo "50-kernel.sh: kernel $abi for x86_64 and i686 present in $cache"
        return 0
    fi
    dir=$cache/$abi
    rm -rf "$dir"
    mkdir -p "$dir/debs"

    # A private apt setup for i386: own lists, cache and (empty) status, the machine's sources.
    apt_i386=$cache/apt-i386
    mkdir -p "$apt_i386/lists/partial" "$apt_i386/archives/partial"
    : >"$apt_i386/status"
    i386_opts=(-o APT::Sandbox::User=root -o APT::Architecture=i386 -o APT::Architectures::=i386
        -o Dir::State::Lists="$apt_i386/lists" -o Dir::State::status="$apt_i386/status"
        -o Dir::Cache="$apt_i386" -o Dir::Cache::archives="$apt_i386/archives")
    apt-get "${i386_opts[@]}" update -qq

    cd "$dir/debs"
    apt-get -o APT::Sandbox::User=root download -qq "linux-image-$abi-amd64-unsigned"
    apt-get "${i386_opts[@]}" download -qq "linux-headers-$abi-686" "linux-image-$abi-686" busybox-static

    for arch in x86_64 i686; do
        mkdir -p "$dir/$arch/root"
    done
    for deb in linux-image-*amd64*.deb; do dpkg -x "$deb" "$dir/x86_64/root"; done
    for deb in linux-image-*686*.deb linux-headers-*686*.deb busybox-static*.deb; do dpkg -x "$deb" "$dir/i686/root"; done
    unpack_vmlinux "$dir/x86_64/root/boot/vmlinuz-$abi-amd64" "$dir/x86_64/kernel"
    cp "$dir/i686/root/boot/vmlinuz-$abi-686" "$dir/i686/kernel"

    # The 686 headers link their build scripts to the host's kbuild tools by a relative path
    # and include the common headers by absolute path; both are the installed amd64 ones.
    hdr=$dir/i686/root/usr/src/linux-headers-$abi-686
    for link in scripts tools; do
        ln -sfn "/usr/lib/linux-kbuild-${abi%%.0-*}/$link" "$hdr/$link"
    done
    ln -sfn "/usr/src/linux-headers-$abi-amd64" "$dir/x86_64/headers"
    ln -sfn "$hdr" "$dir/i686/headers"
    # The guests' shell and tools: the installed static busybox for x86_64, the i386 one for i686.
    ln -sfn /bin/busybox "$dir/x86_64/busybox"
    ln -sfn root/bin/busybox "$dir/i686/busybox"
    rm -rf "$dir/debs"
    touch "$dir/ready"
    ln -sfn "$abi" "$cache/current"
    echo "50-kernel.sh: kernel $abi for x86_64 and i686 unpacked in $cache"
}

# other_kernel FLAVOUR RELEASE PACKAGE...: one more amd64 kernel, its image and headers
# fetched as PACKAGE... and unpacked into <cache>/RELEASE (kernel, headers, busybox), named by
# <cache>/FLAVOUR. The headers include their common half by absolute path, pointed here into
# the unpacked tree; build tools the packages do not bring (the same version as the installed
# ones) are the installed ones. The image's own modules are not needed and are left out.
other_kernel() {
    local flavour=$1 release=$2 dir=$cache/$2 hdr link target
    shift 2
    if [ -f "$dir/ready" ]; then
        ln -sfn "$release" "$cache/$flavour"
        echo "50-kernel.sh: kernel $release ($flavour) present in $cache"
        return 0
    fi
    rm -rf "$dir"
    mkdir -p "$dir/debs" "$dir/root"
    (cd "$dir/debs" && apt-get -o APT::Sandbox::User=root download -qq "$@")
    for deb in "$dir"/debs/*.deb; do dpkg -x "$deb" "$dir/root"; done
    rm -rf "$dir/root/lib/modules/$release/kernel"
    hdr=$dir/root/usr/src/linux-headers-$release
    sed -i "s|^include /usr/src/|include $dir/root/usr/src/|" "$hdr/Makefile"
    for link in "$dir"/root/usr/src/linux-headers-*/{scripts,tools}; do
        [ -L "$link" ] && [ ! -e "$link" ] || continue
        target=$(readlink "$link")
        ln -sfn "/usr/lib/${target#../../lib/}" "$link"
    done
    unpack_vmlinux "$dir/root/boot/vmlinuz-$release" "$dir/kernel"
    ln -sfn "$hdr" "$dir/headers"
    ln -sfn /bin/busybox "$dir/busybox"
    rm -rf "$dir/debs"
    touch "$dir/ready"
    ln -sfn "$release" "$cache/$flavour"
    echo "50-kernel.sh: kernel $release ($flavour) unpacked in $cache"
}

default_kernels

# Debian 12's newest 6.12 kernel, with its own common headers and build tools.
release=$(apt-cache search --names-only '^linux-headers-6\.12\.[0-9]+\+deb12-amd64$' |
    cut -d' ' -f1 | sort -V | tail -n 1)
release=${release#linux-headers-}
if [ -z "$release" ]; then
    echo "50-kernel.sh: no linux-headers-6.12.*+deb12-amd64 in the package lists" >&2
    exit 1
fi
other_kernel 6.12-amd64 "$release" "linux-image-$release-unsigned" "linux-headers-$release" \
    "linux-headers-${release%-amd64}-common" "linux-kbuild-${release%-amd64}"
# The PREEMPT_RT kernel of the installed ABI, which builds with the installed build tools.
other_kernel rt-amd64 "$abi-rt-amd64" "linux-image-$abi-rt-amd64-unsigned" \
    "linux-headers-$abi-rt-amd64" "linux-headers-$abi-common-rt"
