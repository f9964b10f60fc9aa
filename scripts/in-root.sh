#!/usr/bin/env bash
# Runs a command in a Debian root folder (made by debootstrap) as if it were the machine:
#   scripts/in-root.sh [--bind PATH]... ROOT COMMAND...
# The command enters ROOT through new mount and PID namespaces with pivot_root (a chroot would
# refuse the user namespaces that the tests and the tour make), with a /proc of its own PID
# namespace and the machine's /sys and /dev; the network is the machine's. Each --bind PATH
# shows the machine's PATH at the same path inside. The command runs as root in a clean
# environment (PATH, HOME, TERM, LANG and the MECH_* variables pass through; MECH_IN_ROOT
# names ROOT), from /root; nothing it starts outlives it. Its status is the command's.
set -euo pipefail
args=("$@")
binds=()
while [ "${1:-}" = --bind ]; do
    binds+=("$2")
    shift 2
done
[ $# -ge 2 ] || { sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
root=$(cd "$1" && pwd)
shift
[ -x "$root/bin/sh" ] || { echo "in-root: $root is not a root folder (no /bin/sh)" >&2; exit 2; }

# The environment inside: a clean one, with the project's own settings.
env=(HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
    TERM="${TERM:-dumb}" LANG=C.UTF-8 MECH_IN_ROOT="$root")
while IFS='=' read -r name _; do
    env+=("$name=${!name}")
done < <(env | grep '^MECH_[A-Z0-9_]*=' || true)

# Inside the new namespaces: ROOT becomes a mount point (pivot_root needs one, and so does
# making its mounts private), gets its mounts, and replaces the machine's root.
enter() {
    local root=$1 path
    shift
    mount --bind "$root" "$root"
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    for path in ${binds[@]+"${binds[@]}"}; do
        mkdir -p "$root$path"
        mount --bind "$path" "$root$path"
    done
    cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
    mkdir -p "$root/.machine"
    cd "$root"
    pivot_root . .machine
    umount -l /.machine
    rmdir /.machine
    cd /root
    # Not exec: this shell stays the namespace's first process, which reaps what the command
    # leaves orphaned, as init would.
    env -i "${env[@]}" "$@"
}

if [ "${IN_ROOT_INSIDE:-}" = 1 ]; then
    enter "$root" "$@"
    exit
fi
IN_ROOT_INSIDE=1 exec unshare --mount --pid --fork --propagation private -- "$0" "${args[@]}"
