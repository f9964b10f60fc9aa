#!/usr/bin/env bash
# A shell test, or the CTest stand-in for a test that cannot be built, whose prerequisite is
# missing here: the shell's side of HARNESS_SKIP (tests/harness/check.hpp).
#   tests/missing.sh PREREQUISITE WHY      (a test script: exec it)
# Prints "skipped: missing PREREQUISITE: WHY", which scripts/skips.sh counts, and ends with 77,
# which the test's CTest case takes for a skip (SKIP_RETURN_CODE 77). In strict mode
# (MECH_STRICT=1) a missing prerequisite fails instead: "strict mode: missing ...", status 1.
[ $# -eq 2 ] || { echo "usage: tests/missing.sh PREREQUISITE WHY" >&2; exit 2; }
if [ "${MECH_STRICT:-}" = 1 ]; then
    echo "strict mode: missing $1: $2"
    exit 1
fi
echo "skipped: missing $1: $2"
exit 77
