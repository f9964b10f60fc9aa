#!/usr/bin/env bash
# Builds the Debian packages (debian/) from a clean copy of the tree:
#   scripts/build-packages.sh [OUTDIR]            (OUTDIR: build/packages)
# The files git tracks (or, outside a git work tree, every file but build/) are copied into
# OUTDIR/src/mechanisms-VERSION, and dpkg-buildpackage builds there: every package for amd64
# (mechanisms, mechanisms-common, mechanisms-dkms), then mechanisms for i386, with the
# project's 32-bit toolchain (-m32). The .deb files land in OUTDIR, with each build's log.
# Needs what scripts/install.sh --tests installs (debhelper, dh-dkms, pandoc, the i386 C++
# runtime for dpkg-shlibdeps). Ends with status 1, naming the step, when a build fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$root/build/packages}
mkdir -p "$out"
out=$(cd "$out" && pwd)
version=$(cd "$root" && dpkg-parsechangelog -S Version)
src=$out/src/mechanisms-$version

rm -rf "$out/src" "$out"/*.deb "$out"/*.ddeb "$out"/*.changes "$out"/*.buildinfo
mkdir -p "$src"
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$root" && git ls-files -z --cached --others --exclude-standard |
        tar --null -T - -cf -) | tar -C "$src" -xf -
else
    tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$src" -xf -
fi

# build ARCH ARGS...: one dpkg-buildpackage run, its log in OUTDIR/build-ARCH.log.
build() {
    local arch=$1 begun
    shift
    begun=$(date +%s)
    echo "build-packages: building for $arch ($*)"
    if ! (cd "$src" && dpkg-buildpackage -us -uc "$@") >"$out/build-$arch.log" 2>&1; then
        tail -n 40 "$out/build-$arch.log"
        echo "build-packages: FAILED for $arch; the whole log: $out/build-$arch.log"
        exit 1
    fi
    echo "build-packages: $arch built in $(($(date +%s) - begun)) s"
}
build amd64 -b
build i386 -B -ai386
# dpkg-buildpackage leaves the packages beside the source folder.
mv "$out"/src/*.deb "$out"/src/*.changes "$out"/src/*.buildinfo "$out"/
ls "$out"/*.deb
