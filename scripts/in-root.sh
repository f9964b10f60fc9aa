#!/usr/bin/env bash
# Runs a command in a Debian root folder (made by debootstrap) as if it were the machine:
#   scripts/in-root.sh [--bind PATH]... [--changes DIR] ROOT COMMAND...
# The command enters ROOT through new mount, PID and IPC namespaces with pivot_root (a chroot
# would refuse the user namespaces that the tests and the tour make), with a /proc of its own
# PID namespace, a /dev/shm and /dev/mqueue of its own IPC namespace, and otherwise the
# machine's /sys and /dev; the network is the machine's. Each --bind PATH shows the machine's
# PATH at the same path inside. --changes DIR shows ROOT copy-on-write: ROOT is never written,
# what the command changes is kept in DIR (made if missing; DIR/upper is an overlay's upper
# layer over ROOT, with its marks in user.overlay.* attributes, which a 9p share passes on),
# and the next call with the same DIR sees it. The command runs as root in a clean
# environment (PATH, HOME, TERM, LANG and the MECH_* variables pass through; MECH_IN_ROOT names
# ROOT), from /root; nothing it starts outlives it. Its status is the command's. A root whose
# /proc, /sys, /dev, /tmp or bound path is, or passes through, a symbolic link is refused (with
# --changes, as the command would see it), and so is a DIR whose upper or work folder is one:
# such a link could lead the mounts and writes out of the root onto the machine's own files.
set -euo pipefail
args=("$@")
binds=()
changes=''
while [ $# -ge 2 ]; do
    case "$1" in
    --bind) binds+=("$2") ;;
    --changes) changes=$2 ;;
    *) break ;;
    esac
    shift 2
done
[ $# -ge 2 ] || { sed -n '2,/^set /p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2; }
root=$(cd "$1" && pwd -P)
shift

# refuse_links PATH: stops if a folder on PATH inside the root (PATH itself included) is a
# symbolic link; what does not exist yet is made inside after pivot_root, a real folder.
refuse_links() {
    local at=$root part
    local -a parts
    IFS=/ read -ra parts <<<"$1"
    for part in "${parts[@]}"; do
        [ -n "$part" ] && [ "$part" != . ] || continue
        if [ "$part" = .. ]; then
            echo "in-root: $1 is not a plain path (it has ..)" >&2
            exit 2
        fi
        at=$at/$part
        if [ -L "$at" ]; then
            echo "in-root: $at is a symbolic link (to $(readlink "$at")): refusing a root" \
                "whose $1 could lead outside it" >&2
            exit 2
        fi
        [ -e "$at" ] || return 0
    done
}
for path in ${binds[@]+"${binds[@]}"}; do
    case "$path" in
    / | /proc | /proc/* | /sys | /sys/* | /dev | /dev/*)
        echo "in-root: --bind $path: nothing is bound over the root's /, /proc, /sys and /dev" >&2
        exit 2
        ;;
    /*) ;;
    *)
        echo "in-root: --bind $path: a path from / is needed" >&2
        exit 2
        ;;
    esac
done
# check_root: the root, as the command will see it, is one to enter.
check_root() {
    local path
    [ -x "$root/bin/sh" ] || { echo "in-root: $root is not a root folder (no /bin/sh)" >&2; exit 2; }
    for path in /proc /sys /dev /tmp ${binds[@]+"${binds[@]}"}; do
        refuse_links "$path"
    done
    for path in /proc /sys /dev; do
        [ -d "$root$path" ] || { echo "in-root: $root is not a root folder (no $path)" >&2; exit 2; }
    done
}

# The changes folder: outside ROOT (which is never written), its upper and work folders real
# folders of its own, and no character that the overlay's options would read as a separator.
if [ -n "$changes" ]; then
    changes=$(realpath -m -- "$changes")
    if [[ "$changes/" == "$root"/* || "$root/" == "$changes"/* ]]; then
        echo "in-root: --changes $changes and the root $root overlap; the root is never written" >&2
        exit 2
    fi
    if [[ "$root$changes" == *[,:\\]* ]]; then
        echo "in-root: --changes needs paths without a comma, a colon or a backslash" \
            "($root, $changes)" >&2
        exit 2
    fi
    for path in "$changes/upper" "$changes/work"; do
        if [ -L "$path" ]; then
            echo "in-root: $path is a symbolic link (to $(readlink "$path")): refusing changes" \
                "that could be written outside $changes" >&2
            exit 2
        fi
        mkdir -p "$path"
    done
fi

# The environment inside: a clean one, with the project's own settings.
env=(HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
    TERM="${TERM:-dumb}" LANG=C.UTF-8 MECH_IN_ROOT="$root")
while IFS='=' read -r name _; do
    env+=("$name=${!name}")
done < <(env | grep '^MECH_[A-Z0-9_]*=' || true)

# Inside the new namespaces: ROOT becomes a mount point (pivot_root needs one, and so does
# making its mounts private), with --changes the overlay, and gets its /proc, /sys and /dev,
# and over the machine's /dev/shm and /dev/mqueue those of the new IPC namespace; then it
# replaces the machine's root, which waits on top of ROOT's /sys while each bound PATH is taken
# from it (as the machine resolves it), and is unmounted from there, uncovering the /sys
# beneath. Nothing is written into ROOT before pivot_root, and nothing of the machine is
# reachable after: whatever ROOT's own links say, they lead inside it.
enter() {
    local path resolv i
    local -a sources=()
    resolv=$(cat /etc/resolv.conf 2>/dev/null || true)
    for path in ${binds[@]+"${binds[@]}"}; do
        sources+=("$(realpath -e "$path")")
    done
    if [ -n "$changes" ]; then
        mount -t overlay overlay \
            -o "userxattr,lowerdir=$root,upperdir=$changes/upper,workdir=$changes/work" "$root"
    else
        mount --bind "$root" "$root"
    fi
    check_root
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    [ ! -d /dev/shm ] || mount -t tmpfs -o nosuid,nodev,mode=1777 tmpfs "$root/dev/shm"
    [ ! -d /dev/mqueue ] || mount -t mqueue -o nosuid,nodev,noexec mqueue "$root/dev/mqueue"
    cd "$root"
    pivot_root . sys
    cd /
    for i in "${!sources[@]}"; do
        mkdir -p "${binds[$i]}"
        mount --bind "/sys${sources[$i]}" "${binds[$i]}"
    done
    umount -l /sys
    [ -z "$resolv" ] || printf '%s\n' "$resolv" >/etc/resolv.conf 2>/dev/null || true
    cd /root
    # Not exec: this shell stays the namespace's first process, which reaps what the command
    # leaves orphaned, as init would.
    env -i "${env[@]}" "$@"
}

if [ "${IN_ROOT_INSIDE:-}" = 1 ]; then
    enter "$@"
    exit
fi
check_root
IN_ROOT_INSIDE=1 exec unshare --mount --pid --ipc --fork --propagation private -- "$0" "${args[@]}"
