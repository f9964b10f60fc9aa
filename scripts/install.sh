#!/usr/bin/env bash
# Installs, idempotently, what the project needs on Debian 12 or Debian 13, as root:
#   scripts/install.sh           what the tour and the programs need: compilers, CMake, the
#                                tracer, qemu and Debian 12's kernel for the kernel scenarios
#   scripts/install.sh --tests   that, and what only the tests need: the other kernels of the
#                                matrix, the debug kernel (built from source, about 9 min),
#                                the fuzzers' clang, the browser, lint, and the Debian 13 root
#                                the test command also runs in
# Packages are listed in scripts/packages/tour.txt and tests.txt, with names both releases
# offer. Steps that are more than a package are scripts/install.d/NN-*.sh, run in name order
# with the level (tour or tests) as their argument. Every long step says what it does and how
# far it is at least every 20 s; its output goes to a log in the install's folder of logs
# (MECH_INSTALL_LOGS, scripts/paths.sh), named when the step fails.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/paths.sh
source "$here/paths.sh"
# shellcheck source=scripts/progress.sh
source "$here/progress.sh"

level=tour
case "${1:-}" in
'') ;;
--tests) level=tests ;;
*)
    sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
    ;;
esac
if [ "$(id -u)" -ne 0 ]; then
    echo "install.sh: must run as root (it installs packages with apt-get)" >&2
    exit 1
fi
release=$(. /etc/os-release && echo "${VERSION_ID:-?}")
case "$release" in
12 | 13) ;;
*) echo "install.sh: this is Debian ${release}; the project knows Debian 12 and 13, trying anyway" >&2 ;;
esac
started=$(date +%s)

lists=("$here/packages/tour.txt")
[ "$level" = tour ] || lists+=("$here/packages/tests.txt")
mapfile -t wanted < <(cat "${lists[@]}" | sed 's/#.*//' | tr -s ' \t' '\n' | grep -v '^$' | sort -u)
missing=()
for pkg in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$pkg")
done

# packages_far LOG: how far apt-get is, against the number of packages it said it would install.
packages_far() {
    awk -v total="$(grep -c '^Inst ' "$MECH_INSTALL_LOGS/packages-plan.log" || true)" '
        /^== installing/ { on = 1 }
        on && /^Get:/ { got++ }
        on && /^Unpacking / { unpacked++ }
        on && /^Setting up / { set++ }
        END { printf "%d of %d packages downloaded, %d unpacked, %d set up", got, total, unpacked, set }
    ' "$1"
}

install_packages() {
    export DEBIAN_FRONTEND=noninteractive
    # A list that a mirror fails to give is left out; the install says what is missing then.
    apt-get update || echo "warning: some package lists could not be fetched; going on without them"
    apt-get install -s --no-install-recommends "${missing[@]}" >"$MECH_INSTALL_LOGS/packages-plan.log"
    echo "== installing"
    progress_retry apt-get install -y --no-install-recommends "${missing[@]}"
}

if [ "${#missing[@]}" -gt 0 ]; then
    mkdir -p "$MECH_INSTALL_LOGS"
    : >"$MECH_INSTALL_LOGS/packages-plan.log"
    progress_step install.sh "installing ${#missing[@]} of ${#wanted[@]} packages, with what they need" \
        "$MECH_INSTALL_LOGS/packages.log" packages_far install_packages
else
    echo "install.sh: all ${#wanted[@]} packages present"
fi

for step in "$here"/install.d/[0-9][0-9]-*.sh; do
    bash "$step" "$level"
done
echo "install.sh: the $level level is installed ($(progress_duration $(($(date +%s) - started))))"
