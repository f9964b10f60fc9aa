# shellcheck shell=bash
# shellcheck disable=SC2034 # the lower-case names are read by the scripts that source this
# The project's places outside its tree, each written here once, with the variable that names
# another; sourced by the install steps, scripts/test-all.sh, the tour and the benchmarks, and
# read by the build (cmake/KernelModules.cmake takes the kernel cache's default from its line).
#   MECH_KERNEL_CACHE  Debian's kernels, their headers and a busybox for each: filled by
#                      scripts/install.d/50-kernels.sh and 60-debug-kernel.sh, marked by the
#                      file named below, which the prune (90-prune.sh) requires
#   MECH_ROOTS         the Debian roots the test command also runs in (<roots>/debian13),
#                      made by scripts/install.d/debian-root.sh
#   MECH_INSTALL_LOGS  the install steps' logs
#   MECH_DEBIAN_MIRROR, MECH_DEBIAN_SECURITY_MIRROR   Debian's archive and its security suites
# Debian's archive is checked against the keyring of the package debian-archive-keyring.
mech_kernel_cache_default=/var/cache/mechanisms/kernel
MECH_KERNEL_CACHE=${MECH_KERNEL_CACHE:-$mech_kernel_cache_default}
mech_kernel_cache_mark=.mechanisms-kernel-cache
MECH_ROOTS=${MECH_ROOTS:-/var/cache/mechanisms/roots}
MECH_INSTALL_LOGS=${MECH_INSTALL_LOGS:-/var/log/mechanisms}
MECH_DEBIAN_MIRROR=${MECH_DEBIAN_MIRROR:-http://deb.debian.org/debian}
MECH_DEBIAN_SECURITY_MIRROR=${MECH_DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
mech_debian_keyring=/usr/share/keyrings/debian-archive-keyring.gpg
