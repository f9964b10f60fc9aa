#!/usr/bin/env bash
# Builds every preset and runs every test, and after the native tests the benchmarks' quick
# run (bench/run --quick); then the Debian packages (tests/packages/: built, lintian, and
# installed, checked and purged in fresh Debian 12 and 13 roots; after the native preset,
# whose vm_test boots their modules); then, on a machine that is not Debian 13, the same in
# the Debian 13 root that scripts/install.sh --tests keeps (its own install, the native and
# i686 presets).
#   scripts/test-all.sh                      all of it
#   scripts/test-all.sh [--lean] PART...     only these: presets, packages, or debian13
# --lean leaves out the native preset's cases labelled vm (the kernel modules in their VMs) and
# exercise (the exercise command, checking with the very cases the run has just passed), as
# the Debian 13 run does: its guests are the same as this machine's, and so is the command.
# The cases labelled limits (minutes each, waiting out the stream servers' time limits) prove
# the same in every build: only the native preset runs them, and only when not --lean.
# Each preset is configured, built and tested even when an earlier one failed; the script
# fails if anything failed, naming the release and the step.
# Strict by default (MECH_STRICT=1): a case that skips because a prerequisite is missing
# (root, namespaces, kernel files, a 32-bit kernel, the VM...) fails, and so does any other
# skip. MECH_STRICT=0 allows skips for a quick run; either way each preset ends with its skips
# by reason. MECH_TIMEOUT_SCALE (a whole number) multiplies every timeout.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1
export MECH_STRICT=${MECH_STRICT:-1}
release=$(. /etc/os-release && echo "${VERSION_ID:-?}")
# shellcheck source=scripts/paths.sh
source scripts/paths.sh

lean=''
if [ "${1:-}" = --lean ]; then
    lean=1
    shift
fi
parts=("$@")
if [ "${#parts[@]}" -eq 0 ]; then
    parts=(native i686 sanitize packages)
    [ "$release" = 13 ] || parts+=(debian13)
fi
failed=()
started=$(date +%s)

# The i686 preset's cases run in its VM where the kernel runs no 32-bit programs, on one core
# for minutes: when another part follows, they run in the background beside it, and their
# output is shown when they have ended. One preset at a time.
pending='' pending_pid='' pending_begun=''

# test_preset PRESET: configure, build and test one preset here.
test_preset() {
    local preset=$1 begun
    local -a exclude=()
    echo "=== preset $preset (Debian $release)"
    begun=$(date +%s)
    mkdir -p build
    rm -f "build/$preset.failed.log"
    if ! cmake --preset "$preset" >"build/$preset.configure.log" 2>&1; then
        cat "build/$preset.configure.log"
        failed+=("debian$release:$preset:configure")
        return
    fi
    if ! cmake --build --preset "$preset"; then
        failed+=("debian$release:$preset:build")
        return
    fi
    if [ "$preset" != native ]; then
        exclude=(-LE limits)
    elif [ -n "$lean" ]; then
        exclude=(-LE 'vm|exercise|limits')
    fi
    # Where the i686 cases run in a VM, the guest's ctest leaves out the same.
    local vm_args="${MECH_VM_SUITE_ARGS:-} ${exclude[*]}"
    if [ "$preset" = i686 ] && [ -n "${2:-}" ]; then
        finish_pending
        echo "=== preset $preset: its cases run in the background beside the next part"
        MECH_VM_SUITE_ARGS=$vm_args ctest --preset "$preset" "${exclude[@]}" \
            >"build/$preset.test.log" 2>&1 &
        pending=$preset pending_pid=$! pending_begun=$begun
        return
    fi
    if ! MECH_VM_SUITE_ARGS=$vm_args ctest --preset "$preset" "${exclude[@]}"; then
        failed+=("debian$release:$preset:test")
        show_failed "$preset" >"build/$preset.failed.log"
    fi
    # The benchmarks' smoke test (native only, as the benchmarks are): it fails when a
    # benchmark breaks, never on a figure.
    if [ "$preset" = native ] && ! bench/run --quick; then
        failed+=("debian$release:$preset:bench")
    fi
    check_skips "$preset" "$begun"
}

# finish_pending: waits for the preset whose cases run in the background, and shows them.
finish_pending() {
    [ -n "$pending" ] || return 0
    local rc=0
    wait "$pending_pid" || rc=$?
    echo "=== preset $pending: its cases, run in the background"
    cat "build/$pending.test.log"
    if [ "$rc" != 0 ]; then
        failed+=("debian$release:$pending:test")
        show_failed "$pending" >"build/$pending.failed.log"
    fi
    check_skips "$pending" "$pending_begun"
    pending=''
}

# show_failed PRESET: the preset's failed cases, each with the end of its output, so that the
# end of a long run's log says what failed (ctest showed it amid the other cases' lines).
show_failed() {
    local dir=build/$1/Testing/Temporary
    [ -e "$dir/LastTestsFailed.log" ] || return 0
    echo "=== preset $1: the failed cases, with the last 40 lines of each one's output"
    awk -F: 'NR == FNR { want[substr($0, length($1) + 2)] = 1; next }
        /^[0-9]+\/[0-9]+ Test: / { name = $0; sub(/^[^ ]+ Test: /, "", name); next }
        name in want && /^Output:$/ { n = 0; keep = 1; getline; next }
        keep && /^<end of output>$/ {
            print "--- " name
            for (i = (n > 40 ? n - 40 : 0); i < n; i++) print line[i]
            keep = 0; next
        }
        keep { line[n++] = $0 }
        /^Test (time|Failed|Passed)/ && name in want && !keep { print "    " $0 }
    ' "$dir/LastTestsFailed.log" "$dir/LastTest.log"
}

# check_skips PRESET BEGUN: the preset's skipped cases, which fail a strict run.
check_skips() {
    local preset=$1 begun=$2
    if ! scripts/skips.sh "build/$preset"; then
        if [ "$MECH_STRICT" = 1 ]; then
            echo "test-all: strict mode: a skipped case fails the run"
            failed+=("debian$release:$preset:skipped")
        else
            echo "test-all: not strict (MECH_STRICT=$MECH_STRICT): the skipped cases proved nothing"
        fi
    else
        echo "test-all: no case skipped in $preset"
    fi
    echo "=== preset $preset took $(($(date +%s) - begun)) s"
}

# in_debian13: the tree, as it is here, copied into the Debian 13 root (beside the build it
# kept from the last run), its install, then its i686 and native presets; each line of it
# shown with "debian13| " before it.
in_debian13() {
    local dest debian13=$MECH_ROOTS/debian13
    if [ ! -x "$debian13/bin/sh" ]; then
        echo "test-all: no Debian 13 root in $debian13: run scripts/install.sh --tests"
        return 1
    fi
    echo "=== Debian 13, in $debian13"
    # In /srv, where all may read it, as the sandbox's contained users must (root's /root is
    # closed to others). The copy is written from the machine's side: a link planted at the
    # root's /srv or /srv/mechanisms would lead the removal and the copy onto the machine's
    # own files.
    dest=$debian13/srv/mechanisms
    for path in "$debian13/srv" "$dest"; do
        if [ -L "$path" ]; then
            echo "test-all: $path is a symbolic link (to $(readlink "$path")): refusing to copy the tree through it"
            return 1
        fi
    done
    mkdir -p "$dest"
    find "$dest" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
    tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$dest" -xf - || return 1
    # Lint takes the files git tracks: the copy's own index holds them.
    scripts/in-root.sh --bind "$MECH_KERNEL_CACHE" "$debian13" \
        bash -c 'cd /srv/mechanisms && scripts/install.sh --tests && git init -q . && git add -A &&
            scripts/test-all.sh --lean i686 native' 2>&1 |
        sed -u 's/^/debian13| /'
}

for i in "${!parts[@]}"; do
    part=${parts[$i]} next=${parts[$((i + 1))]:-}
    if [ "$part" = packages ]; then
        # The Debian packages (tests/packages/), with the native build's vm_test.
        begun=$(date +%s)
        tests/packages/packages-test.sh build/native || failed+=("debian$release:packages")
        echo "=== the packages took $(($(date +%s) - begun)) s"
    elif [ "$part" = debian13 ]; then
        finish_pending
        begun=$(date +%s)
        in_debian13 || failed+=(debian13)
        echo "=== Debian 13 took $(($(date +%s) - begun)) s"
    else
        test_preset "$part" "$next"
    fi
done
finish_pending

echo "test-all: $(($(date +%s) - started)) s in all"
# The failed cases again, kept when their ctest run ended (the packages' test runs ctest
# in the native build again).
for part in "${parts[@]}"; do
    [ ! -e "build/$part.failed.log" ] || cat "build/$part.failed.log"
done
if [ "${#failed[@]}" -gt 0 ]; then
    echo "test-all: FAILED: ${failed[*]}"
    exit 1
fi
echo "test-all: all passed on Debian $release: ${parts[*]}"
