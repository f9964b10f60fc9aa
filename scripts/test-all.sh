#!/usr/bin/env bash
# Builds every preset and runs every test. Each preset is configured, built and tested even
# when an earlier one failed; the script fails if anything failed.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

presets=(native i686 sanitize)
failed=()
for preset in "${presets[@]}"; do
    echo "=== preset $preset"
    mkdir -p build
    if ! cmake --preset "$preset" >"build/$preset.configure.log" 2>&1; then
        cat "build/$preset.configure.log"; failed+=("$preset:configure"); continue
    fi
    if ! cmake --build --preset "$preset"; then
        failed+=("$preset:build"); continue
    fi
    if ! ctest --preset "$preset"; then
        failed+=("$preset:test")
    fi
done

if [ "${#failed[@]}" -gt 0 ]; then
    echo "test-all: FAILED: ${failed[*]}"
    exit 1
fi
echo "test-all: every preset built and passed its tests (${presets[*]})"
