#!/usr/bin/env bash
# One case of the i686 suite where this kernel cannot run 32-bit programs: CTest starts every
# i686 case through this script (the preset's test emulator, see cmake/Testing.cmake).
#   suite-case.sh RESULTS_DIR QEMU_I386 TEST_PROGRAM ARGS...
# In the VM (MECH_VM_GUEST=1, see suite-run.sh) it runs the test program, on a real kernel,
# and records its output and status in RESULTS_DIR/cases/. On the host it shows what the VM
# recorded for the same case and ends with the same status, so each case keeps its own name
# and its own result. Anything else (listing a program's cases, a build step such as
# make-errlist) runs on the host under the user-mode emulator: that only names the cases or
# writes a table, it proves nothing.
set -uo pipefail
[ $# -ge 3 ] || { sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
results=$1 qemu=$2 program=$3
shift 3

filter=
for arg in "$@"; do
    case "$arg" in
    --gtest_list_tests) filter= && break ;;
    --gtest_filter=*) filter=${arg#--gtest_filter=} ;;
    esac
done
if [ -z "$filter" ]; then
    [ -n "${MECH_VM_GUEST:-}" ] && exec "$program" "$@"
    exec "$qemu" "$program" "$@"
fi
case_file=$results/cases/$(basename "$program").${filter//\//%}

if [ -n "${MECH_VM_GUEST:-}" ]; then
    rm -f "$case_file.status"
    "$program" "$@" >"$case_file.out" 2>&1
    status=$?
    echo "$status" >"$case_file.status"
    cat "$case_file.out"
    exit "$status"
fi

if [ ! -e "$case_file.status" ]; then
    [ -e "$case_file.out" ] && cat "$case_file.out"
    echo "suite-case: the VM recorded no end for this case (not run, or killed at its time" \
        "limit); the guest's console log: $results/console.log" >&2
    exit 1
fi
cat "$case_file.out"
status=$(cat "$case_file.status")
if [ "$status" -ne 0 ]; then
    echo "suite-case: the guest's console log: $results/console.log" >&2
    grep -h '^harness: kept ' "$case_file.out" | cut -d' ' -f3 | tr -d , | while read -r dir; do
        echo "suite-case: its folder $dir, copied out of the guest: $results/kept/${dir##*/}" >&2
    done
fi
exit "$status"
