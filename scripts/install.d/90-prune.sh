#!/usr/bin/env bash
# Removes from the kernel cache what no longer serves: a kernel folder that none of the names
# (current, 6.12-amd64, rt-amd64, debug, checkpatch) points to, such as the ABI a point
# release replaced. Its own apt configuration stays.
set -euo pipefail
# shellcheck source=scripts/kernel-cache.sh
source "$(dirname "${BASH_SOURCE[0]}")/../kernel-cache.sh"
cache=$MECH_KERNEL_CACHE
[ -d "$cache" ] || exit 0
declare -A used=([apt-debian12]=1)
for link in "$cache"/*; do
    [ -L "$link" ] || continue
    target=$(readlink "$link")
    used[${target%%/*}]=1
done
for dir in "$cache"/*; do
    [ -d "$dir" ] && [ ! -L "$dir" ] || continue
    name=$(basename "$dir")
    [ -z "${used[$name]:-}" ] || continue
    echo "90-prune: removing $dir, which no kernel of the matrix uses now"
    rm -rf "$dir"
done
