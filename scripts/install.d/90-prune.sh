#!/usr/bin/env bash
# Removes from the kernel cache what no longer serves: a kernel folder that none of the names
# (current, 6.12-amd64, rt-amd64, debug, checkpatch) points to, such as the ABI a point
# release replaced. Its own apt configuration stays. Only a folder that carries the install's
# mark (50-kernels.sh gives it) is pruned: another one, which MECH_KERNEL_CACHE may name, is
# left whole, saying why.
set -euo pipefail
# shellcheck source=scripts/paths.sh
source "$(dirname "${BASH_SOURCE[0]}")/../paths.sh"
cache=$MECH_KERNEL_CACHE
[ -d "$cache" ] || exit 0
if [ ! -f "$cache/$mech_kernel_cache_mark" ]; then
    echo "90-prune: $cache lacks the install's mark ($mech_kernel_cache_mark): nothing removed"
    exit 0
fi
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
