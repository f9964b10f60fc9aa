# shellcheck shell=bash
# The bash reader of the kernel table (BUILD/vm/kernels.list, generated when the build tree
# BUILD is configured, from the kernel matrix; its writer and grammar: vm/CMakeLists.txt).
# Everything in bash that needs a kernel of the matrix, its modules or its guest's programs
# calls it; nothing else knows where they are:
#   kernel_row BUILD NAME   sets, for the kernel NAME of BUILD's matrix:
#                             kernel_arch     x86_64 or i686
#                             kernel_models   its preemption models, comma-separated
#                             kernel_dir      its folder (kernel, headers, busybox)
#                             kernel_modules  its modules' folder ("" while its headers are
#                                             missing)
#                             kernel_guest    the folder of the static programs for its guests
#                             kernel_missing  why its modules cannot be built here ("" when
#                                             they can)
#                           and fails, setting nothing, when BUILD has no table (it is not
#                           configured) or NAME is not in it.

kernel_row() {
    local table=$1/vm/kernels.list name arch models dir modules guest missing
    [ -r "$table" ] || return 1
    while IFS='|' read -r name arch models dir modules guest missing; do
        [ "$name" = "$2" ] || continue
        # Read by the caller.
        # shellcheck disable=SC2034
        kernel_arch=$arch kernel_models=$models kernel_dir=$dir kernel_modules=$modules \
            kernel_guest=$guest kernel_missing=$missing
        return 0
    done <"$table"
    return 1
}
