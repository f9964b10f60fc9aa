# shellcheck shell=bash
# A Debian root folder of a release other than the machine's, which the test command also runs
# the project in (entered with scripts/in-root.sh): made once with debootstrap (the minbase
# variant: as little as a fresh machine can have, with the release's updates and security
# suites in its sources), its Release files checked against Debian's keyring, and brought up
# to date with `apt-get upgrade` on every run. What the project needs inside it, its own
# scripts/install.sh installs when the tests run there.
#   debian_root RELEASE [NAME]    bookworm or trixie: <roots>/NAME (debian12 or debian13 by
#                                 default), made if it is missing and upgraded; a root of the
#                                 default name is not made on a machine of RELEASE (the test
#                                 command runs there itself), a named one is
#   debian_root_make RELEASE DIR  debootstrap RELEASE into DIR.new, then its sources, then
#                                 DIR.new becomes DIR (a make that fails leaves no DIR)
# Sourced by the install steps; it brings scripts/paths.sh and scripts/progress.sh with it.

# shellcheck source=scripts/paths.sh
source "$(dirname "${BASH_SOURCE[0]}")/../paths.sh"
# shellcheck source=scripts/progress.sh
source "$(dirname "${BASH_SOURCE[0]}")/../progress.sh"

# debian_root_number RELEASE: the release's number (12, 13).
debian_root_number() {
    case "$1" in
    bookworm) echo 12 ;;
    trixie) echo 13 ;;
    *)
        echo "debian-root: no Debian release '$1' known (bookworm, trixie)" >&2
        return 2
        ;;
    esac
}

debian_root_make() {
    local release=$1 dir=$2
    rm -rf "$dir.new"
    mkdir -p "$(dirname "$dir")"
    debootstrap --variant=minbase --keyring="${mech_debian_keyring:?}" --force-check-gpg \
        "$release" "$dir.new" "$MECH_DEBIAN_MIRROR"
    cat >"$dir.new/etc/apt/sources.list" <<SOURCES
deb $MECH_DEBIAN_MIRROR $release main
deb $MECH_DEBIAN_MIRROR $release-updates main
deb $MECH_DEBIAN_SECURITY_MIRROR $release-security main
SOURCES
    mv "$dir.new" "$dir"
}

# _debian_root_upgrade DIR: apt-get upgrade inside the root.
_debian_root_upgrade() {
    "$(dirname "${BASH_SOURCE[0]}")/../in-root.sh" "$1" sh -c \
        'export DEBIAN_FRONTEND=noninteractive; apt-get update && apt-get upgrade -y && apt-get clean'
}

debian_root() {
    local release=$1 name=${2:-} number dir tag
    number=$(debian_root_number "$release") || return
    if [ -z "$name" ]; then
        [ "$(. /etc/os-release && echo "${VERSION_ID:-}")" != "$number" ] || return 0
        name=debian$number
    fi
    dir=$MECH_ROOTS/$name tag=$name-root
    if [ ! -x "$dir/bin/sh" ]; then
        progress_step "$tag" "making a Debian $number root with debootstrap in $dir" \
            "$MECH_INSTALL_LOGS/$name-root.log" progress_last \
            progress_retry debian_root_make "$release" "$dir"
    fi
    progress_step "$tag" "bringing the Debian $number root up to date" \
        "$MECH_INSTALL_LOGS/$name-upgrade.log" progress_last \
        progress_retry _debian_root_upgrade "$dir"
}
