#!/bin/sh
# mechanisms: runs the programs of the package mechanisms, installed as /usr/bin/mechanisms.
#   mechanisms [--arch ARCH] [PROGRAM [ARG...]]   run PROGRAM (without one: a shell)
#   mechanisms [--arch ARCH] --print              the shell lines that set this shell up
#   mechanisms --list                             the architectures installed
# The programs have short generic names, so each architecture's are kept in a folder of their
# own, /usr/lib/TRIPLET/mechanisms/bin, off PATH; this puts that folder first on PATH and its
# lib/ (the plug-ins, objects and libraries) first on LD_LIBRARY_PATH. ARCH is amd64 or i386;
# the default is the machine's own architecture when it is installed, or else the one that is.
set -eu
prefix=/usr/lib

usage() {
    sed -n '3,5p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

# triplet ARCH: the multiarch folder of a Debian architecture the packages are built for.
triplet() {
    case "$1" in
    amd64) echo x86_64-linux-gnu ;;
    i386) echo i386-linux-gnu ;;
    *) echo "mechanisms: no such architecture: $1 (amd64 or i386)" >&2 && exit 2 ;;
    esac
}

installed() {
    for arch in amd64 i386; do
        [ -d "$prefix/$(triplet "$arch")/mechanisms/bin" ] && echo "$arch"
    done
    return 0
}

arch=''
if [ "${1:-}" = --arch ]; then
    [ $# -ge 2 ] || usage
    arch=$2
    shift 2
fi
case "${1:-}" in
--list)
    installed
    exit 0
    ;;
--help | -h) usage ;;
esac
if [ -z "$arch" ]; then
    arch=$(dpkg --print-architecture 2>/dev/null || true)
    if ! installed | grep -qx "$arch"; then
        arch=$(installed | head -n 1)
    fi
    [ -n "$arch" ] || { echo "mechanisms: the package mechanisms is not installed" >&2 && exit 1; }
fi
dir=$prefix/$(triplet "$arch")/mechanisms
[ -d "$dir/bin" ] || { echo "mechanisms: the package mechanisms:$arch is not installed" >&2 && exit 1; }
PATH=$dir/bin:$PATH
LD_LIBRARY_PATH=$dir/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
export PATH LD_LIBRARY_PATH

if [ "${1:-}" = --print ]; then
    printf "PATH='%s'; export PATH\n" "$PATH"
    printf "LD_LIBRARY_PATH='%s'; export LD_LIBRARY_PATH\n" "$LD_LIBRARY_PATH"
    exit 0
fi
[ $# -gt 0 ] || set -- "${SHELL:-/bin/sh}"
exec "$@"
