#!/usr/bin/env bash
# What the packages' tests (tests/packages/) need beyond their packages, for the tests' level:
# - the i386 architecture on this machine (dpkg --add-architecture) and its C++ runtime, which
#   dpkg-shlibdeps reads when scripts/build-packages.sh builds the i386 package here;
# - a fresh Debian 12 and a fresh Debian 13 root, <roots>/packages-debian12 and
#   <roots>/packages-debian13, made and kept up to date as every root is (debian-root.sh).
#   The tests install and purge the packages in an overlay of a root, which they throw away,
#   so the roots stay as fresh as debootstrap made them.
set -euo pipefail
level=${1:-tour}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/install.d/debian-root.sh
source "$here/debian-root.sh"
[ "$level" = tests ] || exit 0
# In a root the test command runs the project in (scripts/in-root.sh), the packages are not
# tested: that is the machine's own run.
[ -z "${MECH_IN_ROOT:-}" ] || exit 0
export DEBIAN_FRONTEND=noninteractive

# The i386 runtime: a list a mirror fails to give is left out (apt says which), as in install.sh.
i386_runtime() {
    dpkg --add-architecture i386
    apt-get update || echo "warning: some package lists could not be fetched; going on without them"
    apt-get install -y --no-install-recommends libstdc++6:i386
}
if [ "$(dpkg-query -W -f='${db:Status-Status}' libstdc++6:i386 2>/dev/null || true)" != installed ]; then
    progress_step 75-package-roots "adding the i386 architecture and its C++ runtime" \
        "$MECH_INSTALL_LOGS/package-i386.log" progress_last progress_retry i386_runtime
fi

debian_root bookworm packages-debian12
debian_root trixie packages-debian13
