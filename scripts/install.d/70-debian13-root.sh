#!/usr/bin/env bash
# The Debian 13 root that the test command also runs the project in (scripts/test-all.sh),
# for the tests' level on a machine that is not Debian 13 itself: made once with debootstrap
# (the minbase variant: as little as a fresh machine can have, with the release's updates and
# security suites in its sources) in <roots>/debian13, and brought up to date with
# `apt-get upgrade` on every run. What the project needs inside it, its own scripts/install.sh
# installs when the tests run there. MECH_ROOTS overrides the folder of roots.
set -euo pipefail
level=${1:-tour}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/progress.sh
source "$here/../progress.sh"
[ "$level" = tests ] || exit 0
[ "$(. /etc/os-release && echo "${VERSION_ID:-}")" != 13 ] || exit 0
roots=${MECH_ROOTS:-/var/cache/mechanisms/roots}
root=$roots/debian13
logs=${MECH_INSTALL_LOGS:-/var/log/mechanisms}
mirror=${MECH_DEBIAN_MIRROR:-http://deb.debian.org/debian}
security=${MECH_DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}

make_root() {
    rm -rf "$root.new"
    mkdir -p "$roots"
    debootstrap --variant=minbase trixie "$root.new" "$mirror"
    cat >"$root.new/etc/apt/sources.list" <<SOURCES
deb $mirror trixie main
deb $mirror trixie-updates main
deb $security trixie-security main
SOURCES
    mv "$root.new" "$root"
}

upgrade_root() {
    "$here/../in-root.sh" "$root" sh -c \
        'export DEBIAN_FRONTEND=noninteractive; apt-get update && apt-get upgrade -y'
}

if [ ! -x "$root/bin/sh" ]; then
    progress_step 70-debian13-root "making a Debian 13 root with debootstrap in $root" \
        "$logs/debian13-root.log" progress_last progress_retry make_root
fi
progress_step 70-debian13-root "bringing the Debian 13 root up to date" \
    "$logs/debian13-upgrade.log" progress_last progress_retry upgrade_root
