#!/usr/bin/env bash
# Installs, idempotently, everything that building, testing and the tour need on a fresh
# Debian 12 machine (run as root). Packages are listed one per line in scripts/packages/*.txt;
# steps that are more than a package (files fetched with apt-get download, for example) are
# scripts in scripts/install.d/, run in name order after the packages.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [ "$(id -u)" -ne 0 ]; then
    echo "install.sh: must run as root (it installs packages with apt-get)" >&2
    exit 1
fi

mapfile -t wanted < <(cat "$here"/packages/*.txt | sed 's/#.*//' | tr -s ' \t' '\n' | grep -v '^$' | sort -u)
missing=()
for pkg in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$pkg")
done

if [ "${#missing[@]}" -gt 0 ]; then
    echo "install.sh: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
    echo "install.sh: all ${#wanted[@]} packages present"
fi

for step in "$here"/install.d/*.sh; do
    [ -e "$step" ] || continue
    bash "$step"
done
