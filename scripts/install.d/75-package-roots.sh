#!/usr/bin/env bash
# What the packages' tests (tests/packages/) need beyond their packages, for the tests' level:
# - the i386 architecture on this machine (dpkg --add-architecture) and its C++ runtime, which
#   dpkg-shlibdeps reads when scripts/build-packages.sh builds the i386 package here;
# - a fresh Debian 12 and a fresh Debian 13 root: made once each with debootstrap (the minbase
#   variant: as little as a fresh machine has, with the release's updates and security suites
#   in its sources) in <roots>/packages-debian12 and <roots>/packages-debian13, and brought up
#   to date on every run. The tests install and purge the packages in an overlay of a root,
#   which they throw away, so the roots stay as fresh as debootstrap made them.
# MECH_ROOTS overrides the folder of roots.
set -euo pipefail
level=${1:-tour}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/progress.sh
source "$here/../progress.sh"
[ "$level" = tests ] || exit 0
# In a root the test command runs the project in (scripts/in-root.sh), the packages are not
# tested: that is the machine's own run.
[ -z "${MECH_IN_ROOT:-}" ] || exit 0
roots=${MECH_ROOTS:-/var/cache/mechanisms/roots}
logs=${MECH_INSTALL_LOGS:-/var/log/mechanisms}
mirror=${MECH_DEBIAN_MIRROR:-http://deb.debian.org/debian}
security=${MECH_DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
export DEBIAN_FRONTEND=noninteractive

# The i386 runtime: a list a mirror fails to give is left out (apt says which), as in install.sh.
i386_runtime() {
    dpkg --add-architecture i386
    apt-get update || echo "warning: some package lists could not be fetched; going on without them"
    apt-get install -y --no-install-recommends libstdc++6:i386
}
if [ "$(dpkg-query -W -f='${db:Status-Status}' libstdc++6:i386 2>/dev/null || true)" != installed ]; then
    progress_step 75-package-roots "adding the i386 architecture and its C++ runtime" \
        "$logs/package-i386.log" progress_last progress_retry i386_runtime
fi

# make_root CODENAME DIR: a minbase root of CODENAME in DIR, made beside it and moved in place.
make_root() {
    local codename=$1 dir=$2
    rm -rf "$dir.new"
    mkdir -p "$roots"
    debootstrap --variant=minbase "$codename" "$dir.new" "$mirror"
    cat >"$dir.new/etc/apt/sources.list" <<SOURCES
deb $mirror $codename main
deb $mirror $codename-updates main
deb $security $codename-security main
SOURCES
    mv "$dir.new" "$dir"
}

upgrade_root() {
    "$here/../in-root.sh" "$1" sh -c \
        'export DEBIAN_FRONTEND=noninteractive; apt-get update && apt-get upgrade -y && apt-get clean'
}

for release in 12:bookworm 13:trixie; do
    number=${release%%:*} codename=${release#*:}
    dir=$roots/packages-debian$number
    if [ ! -x "$dir/bin/sh" ]; then
        progress_step 75-package-roots "making a fresh Debian $number root with debootstrap in $dir" \
            "$logs/package-root-debian$number.log" progress_last progress_retry make_root "$codename" "$dir"
    fi
    progress_step 75-package-roots "bringing the fresh Debian $number root up to date" \
        "$logs/package-root-debian$number-upgrade.log" progress_last progress_retry upgrade_root "$dir"
done
