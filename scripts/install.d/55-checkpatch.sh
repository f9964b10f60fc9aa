#!/usr/bin/env bash
# Fetches the kernel's style checker, scripts/checkpatch.pl with the two data files it reads,
# from Debian 12's linux-source-6.1 package: the package is fetched with `apt-get download`,
# only those three files are taken out of its source tarball, and nothing is installed. They
# land in <cache>/checkpatch-<version>/, named by <cache>/checkpatch.
# Idempotent: a second run only checks. MECH_KERNEL_CACHE overrides the folder.
set -euo pipefail
cache=${MECH_KERNEL_CACHE:-/var/cache/mechanisms/kernel}
package=linux-source-6.1
files=(scripts/checkpatch.pl scripts/spelling.txt scripts/const_structs.checkpatch)

version=$(apt-cache policy "$package" | sed -n 's/^ *Candidate: //p')
if [ -z "$version" ] || [ "$version" = "(none)" ]; then
    echo "55-checkpatch.sh: no $package in the package lists" >&2
    exit 1
fi
dir=$cache/checkpatch-$version
if [ -f "$dir/ready" ]; then
    ln -sfn "checkpatch-$version" "$cache/checkpatch"
    echo "55-checkpatch.sh: checkpatch.pl of $package $version present in $cache"
    exit 0
fi
rm -rf "$dir"
mkdir -p "$dir/debs" "$dir/root"
(cd "$dir/debs" && apt-get -o APT::Sandbox::User=root download -qq "$package=$version")
dpkg -x "$dir"/debs/*.deb "$dir/root"
tar -xJf "$dir/root/usr/src/$package.tar.xz" -C "$dir" --strip-components=1 \
    "${files[@]/#/$package/}"
rm -rf "$dir/debs" "$dir/root"
touch "$dir/ready"
ln -sfn "checkpatch-$version" "$cache/checkpatch"
echo "55-checkpatch.sh: checkpatch.pl of $package $version unpacked in $cache"
