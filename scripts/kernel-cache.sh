# shellcheck shell=bash
# Where Debian's kernels, their headers and a busybox for each are kept: filled by
# scripts/install.d/50-kernels.sh and 60-debug-kernel.sh, read by the build (through
# cmake/KernelModules.cmake, which takes its default from the line below), the tests, the
# tour and the benchmarks. MECH_KERNEL_CACHE names another folder.
mech_kernel_cache_default=/var/cache/mechanisms/kernel
MECH_KERNEL_CACHE=${MECH_KERNEL_CACHE:-$mech_kernel_cache_default}
