#!/usr/bin/env bash
# The Debian 13 root that the test command also runs the project in (scripts/test-all.sh),
# for the tests' level on a machine that is not Debian 13 itself: <roots>/debian13, made once
# and brought up to date on every run (debian-root.sh). MECH_ROOTS overrides the folder of
# roots (scripts/paths.sh).
set -euo pipefail
level=${1:-tour}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/install.d/debian-root.sh
source "$here/debian-root.sh"
[ "$level" = tests ] || exit 0
debian_root trixie
