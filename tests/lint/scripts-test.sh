#!/usr/bin/env bash
# The scripts that write as root outside the build, each in a scratch folder, with a stand-in
# where the real thing would need the network:
#   keyring   the roots are fetched by a debootstrap that checks the archive's signatures
#             against Debian's keyring (a stand-in debootstrap records its command line)
#   in-root   scripts/in-root.sh refuses a root whose /proc, /sys, /dev, /tmp or bound path
#             is a symbolic link (with --changes, one among the changes too), or changes
#             whose own upper folder is one, and has written nothing where the link leads;
#             and changes kept inside the root, which it never writes
#   debian13  the test command's copy of the tree into the Debian 13 root refuses a root
#             whose /srv or /srv/mechanisms is a symbolic link, and writes nothing there
#   prune     the kernel cache's prune removes nothing from a folder without the install's
#             mark, and still removes an unused kernel from one with it
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
[ "$(id -u)" -eq 0 ] || exec "$root/tests/missing.sh" root "in-root.sh makes mount namespaces"
scratch=$(mktemp -d /tmp/scripts-test-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

# keyring: the stand-in writes its arguments, one a line, and the folders the step fills.
mkdir -p "$scratch/bin"
cat >"$scratch/bin/debootstrap" <<'EOF'
#!/bin/sh
printf '%s\n' "$@" >"$DEBOOTSTRAP_ARGS"
for arg; do target=$before before=$arg; done
mkdir -p "$target/etc/apt"
EOF
chmod +x "$scratch/bin/debootstrap"
(
    # shellcheck source=scripts/install.d/debian-root.sh
    source "$root/scripts/install.d/debian-root.sh" &&
        PATH=$scratch/bin:$PATH DEBOOTSTRAP_ARGS=$scratch/args \
            debian_root_make trixie "$scratch/debian13"
) >"$scratch/make.log" 2>&1 || { cat "$scratch/make.log"; fail "keyring: making the root failed"; }
keyring=$(sed -n 's/^--keyring=//p' "$scratch/args" 2>/dev/null)
[ -n "$keyring" ] && [ -s "$keyring" ] ||
    fail "keyring: debootstrap was given no keyring that exists ('$keyring')"
grep -qx -- --force-check-gpg "$scratch/args" 2>/dev/null ||
    fail "keyring: debootstrap was not given --force-check-gpg"
[ "$failed" -eq 1 ] || echo "keyring: debootstrap checks signatures against $keyring"

# tiny_root DIR: a folder with the root's mount points and a /bin/sh that runs nothing.
tiny_root() {
    mkdir -p "$1"/{bin,etc,proc,sys,dev,tmp,root,srv}
    : >"$1/bin/sh"
    chmod +x "$1/bin/sh"
}

# in-root: a tiny root (no Debian inside: in-root.sh must stop before entering it), with one
# of the paths it mounts on replaced by a link to a folder outside; changes/... plants the link
# in the changes folder, as an earlier command in the root could have left it.
mkdir -p "$scratch/machine"
for planted in proc sys dev tmp bind changes/upper/proc changes/upper; do
    name=${planted//\//-}
    fake=$scratch/root-$name outside=$scratch/outside-$name changes=$scratch/changes-$name
    tiny_root "$fake"
    mkdir -p "$outside" "$changes/upper"
    options=(--bind "$scratch/machine")
    case "$planted" in
    bind) link=$fake$scratch ;;
    changes/*) link=$changes/${planted#changes/} options+=(--changes "$changes") ;;
    *) link=$fake/$planted ;;
    esac
    rm -rf "$link"
    ln -s "$outside" "$link"
    status=0
    out=$("$root/scripts/in-root.sh" "${options[@]}" "$fake" true 2>&1) || status=$?
    written=$(ls -A "$outside")
    if [ "$status" -eq 0 ] || [[ "$out" != *"symbolic link"* ]] || [ -n "$written" ]; then
        fail "in-root: a root whose $planted leads outside: status $status, said '$out'," \
            "wrote '$written' outside"
    else
        echo "in-root: refused a root whose $planted is a link: $out"
    fi
done

# in-root: changes kept inside the root itself, which --changes never writes.
fake=$scratch/root-changes-inside
tiny_root "$fake"
status=0
out=$("$root/scripts/in-root.sh" --changes "$fake/tmp/changes" "$fake" true 2>&1) || status=$?
if [ "$status" -eq 0 ] || [ -n "$(ls -A "$fake/tmp")" ]; then
    fail "in-root: changes inside the root: status $status, said '$out', made '$(ls -A "$fake/tmp")'"
else
    echo "in-root: refused changes inside the root: $out"
fi

# debian13: the test command's copy of the tree into a tiny Debian 13 root whose /srv or
# /srv/mechanisms is a link to a folder outside, which holds a file of its own.
for planted in srv srv/mechanisms; do
    name=${planted//\//-}
    roots=$scratch/roots-$name outside=$scratch/outside-13-$name
    tiny_root "$roots/debian13"
    mkdir -p "$outside"
    : >"$outside/own"
    rm -rf "${roots:?}/debian13/$planted"
    ln -s "$outside" "$roots/debian13/$planted"
    status=0
    out=$(MECH_ROOTS=$roots "$root/scripts/test-all.sh" debian13 2>&1) || status=$?
    written=$(ls -A "$outside")
    if [ "$status" -eq 0 ] || [[ "$out" != *"symbolic link"* ]] || [ "$written" != own ]; then
        fail "debian13: a root whose /$planted leads outside: status $status, said '$out'," \
            "left '$written' outside"
    else
        echo "debian13: refused a root whose /$planted is a link: $(grep 'symbolic link' <<<"$out")"
    fi
done

# prune: an unused kernel folder beside the one `current` names.
cache=$scratch/cache
mkdir -p "$cache"/{6.1.0-40,6.1.0-50,apt-debian12}
ln -s 6.1.0-50 "$cache/current"
out=$(MECH_KERNEL_CACHE=$cache bash "$root/scripts/install.d/90-prune.sh" 2>&1)
if [ -d "$cache/6.1.0-40" ] && [ -d "$cache/6.1.0-50" ] && [ -d "$cache/apt-debian12" ]; then
    echo "prune: an unmarked folder kept whole: $out"
else
    fail "prune: removed from an unmarked folder: $out"
fi
(
    # shellcheck source=scripts/paths.sh
    source "$root/scripts/paths.sh" && : >"$cache/$mech_kernel_cache_mark"
) || fail "prune: no mark named"
MECH_KERNEL_CACHE=$cache bash "$root/scripts/install.d/90-prune.sh" >/dev/null 2>&1
if [ ! -e "$cache/6.1.0-40" ] && [ -d "$cache/6.1.0-50" ] && [ -d "$cache/apt-debian12" ]; then
    echo "prune: a marked cache loses only its unused kernel"
else
    fail "prune: a marked cache holds $(ls "$cache" | tr '\n' ' ')"
fi
exit "$failed"
