#!/usr/bin/env bash
# The docs' commands still work: every line of every ```sh block in README.md and docs/*.md
# is run as written, from the repository root, after `source scripts/env.sh PRESET`.
#   tests/lint/docs-check.sh [PRESET]      (native by default; a CTest case, label lint)
# A block is one session: its lines run in order, each in a subshell, with standard input
# empty. A line passes when it ends with status 0, or with N where it ends "# exits N".
# A line ending "# runs until stopped" is started in the background; it must still be running
# after a moment (or once it printed its first line), and the block's end stops it.
# A line ending "# not run by the docs check: REASON" is not run; each program it names must
# exist and be executable. Every block runs in fresh namespaces (network with loopback up,
# IPC, mount, PID) over a copy-on-write view of the tree (overlayfs) with its own /tmp, so the
# programs' fixed ports and queue names meet nothing else and no file is left behind.
# A failed line is reported as FILE:LINE with its output; the status is 1 if any failed.
# DOCS_CHECK_SHOW=1 shows every line's output, as a reader would see it.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
readonly scale=${MECH_TIMEOUT_SCALE:-1}
readonly line_seconds=$((60 * scale)) # the longest a line may take
readonly settle_tenths=$((10 * scale)) # how long a background line has to show it started
readonly output_bytes=4000             # of a failed line's output, shown

readonly until_stopped='#[[:space:]]*runs until stopped[[:space:]]*$'
readonly exits='#[[:space:]]*exits ([0-9]+)[[:space:]]*$'
readonly not_run='#[[:space:]]*not run by the docs check:[[:space:]]*[^[:space:]]'

# show FILE: its first output_bytes bytes, indented.
show() {
    head -c "$output_bytes" "$1" | awk '{ print "    | " $0 }'
    [ "$(stat -c %s "$1")" -le "$output_bytes" ] || echo "    | ..."
}

# check_named LINE: every program that LINE's commands start exists and is executable.
check_named() {
    local part word missing=0
    local -a words
    while IFS= read -r part; do
        read -ra words <<<"$part"
        for word in "${words[@]}"; do
            word=${word#(}
            case "$word" in
            '' | [A-Za-z_]*=*) continue ;;
            */*) [ -f "$word" ] && [ -x "$word" ] || { echo "    no program $word"; missing=1; } ;;
            *) command -v "$word" >/dev/null || { echo "    no command $word"; missing=1; } ;;
            esac
            break
        done
    done < <(sed 's/#.*//; s/&&\|||\|[;|]/\n/g' <<<"$1")
    return "$missing"
}

# Inside the namespaces: one block, from a file of "LINE<TAB>COMMAND" lines.
inside() {
    local file=$1 block=$2 n text status want scratch failed=0 i
    local -a numbers commands background=() outputs=()
    local t
    while IFS=$'\t' read -r n text; do
        numbers+=("$n") commands+=("$text")
    done <"$block"
    ip link set lo up
    # The view of the tree is made on a staging tmpfs first and bound back at the tree's own
    # path once the fresh /tmp is mounted: a tree below /tmp (a clone there) stays in sight.
    mkdir -p /dev/shm /dev/mqueue
    mount -t tmpfs tmpfs /dev/shm
    mkdir /dev/shm/upper /dev/shm/work /dev/shm/tree
    mount -t overlay overlay \
        -o "lowerdir=$root,upperdir=/dev/shm/upper,workdir=/dev/shm/work" /dev/shm/tree
    mount -t tmpfs -o mode=1777 tmpfs /tmp
    mkdir -p "$root"
    mount --bind /dev/shm/tree "$root"
    mount -t tmpfs -o mode=1777 tmpfs /dev/shm
    mount -t mqueue mqueue /dev/mqueue
    scratch=$(mktemp -d /tmp/docs-check-XXXXXX)
    cd "$root" || return 1
    # shellcheck source=scripts/env.sh
    source scripts/env.sh "$preset" || return 1
    export TOUR_NO_BUILD=1 # the check runs on a build; the tour must not start another
    for i in "${!commands[@]}"; do
        n=${numbers[$i]} text=${commands[$i]}
        local out="$scratch/out.$n"
        if [[ $text =~ $not_run ]]; then
            check_named "$text" >"$out" 2>&1 ||
                { echo "$file:$n: not run, but: $text"; show "$out"; failed=1; }
        elif [[ $text =~ $until_stopped ]]; then
            setsid bash -c "$text" </dev/null >"$out" 2>&1 &
            local pid=$!
            background+=("$pid") outputs+=("$n")
            for ((t = 0; t < settle_tenths; t++)); do
                [ -s "$out" ] && break
                kill -0 "$pid" 2>/dev/null || break
                sleep 0.1
            done
            if ! kill -0 "$pid" 2>/dev/null; then
                wait "$pid"
                echo "$file:$n: ended (status $?) where it should run until stopped: $text"
                show "$out"
                failed=1
            fi
        else
            want=0
            [[ $text =~ $exits ]] && want=${BASH_REMATCH[1]}
            timeout -k 5 "$line_seconds" bash -c "$text" </dev/null >"$out" 2>&1
            status=$?
            if [ "${DOCS_CHECK_SHOW:-0}" = 1 ]; then
                echo "$file:$n: $text"
                show "$out"
            fi
            if [ "$status" -ne "$want" ]; then
                echo "$file:$n: status $status, expected $want: $text"
                [ "$status" -eq 124 ] && echo "    (timed out after $line_seconds s)"
                show "$out"
                failed=1
            fi
        fi
    done
    for pid in "${background[@]}"; do
        kill -TERM -- "-$pid" 2>/dev/null
    done
    if [ "$failed" -ne 0 ] || [ "${DOCS_CHECK_SHOW:-0}" = 1 ]; then
        sleep 0.2 # what they print as they are stopped
        for i in "${!background[@]}"; do
            echo "  the output of $file:${outputs[$i]}, started in the background:"
            show "$scratch/out.${outputs[$i]}"
        done
    fi
    return "$failed"
}

if [ "${1:-}" = --inside ]; then
    preset=$2
    inside "$3" "$4"
    exit
fi
preset=${1:-native}
cd "$root" || exit 1
if [ ! -d "build/$preset/bin" ]; then
    echo "docs-check: build/$preset is not built"
    exit 1
fi

work=$(mktemp -d /tmp/docs-check-blocks-XXXXXX)
trap 'rm -rf "$work"' EXIT
# Each ```sh block to a file of its own, NNNN: "LINE<TAB>COMMAND" for each line that is not
# blank; NNNN.file names the document.
awk -v dir="$work" '
    /^```sh[[:space:]]*$/ {
        inblock = 1; out = sprintf("%s/%04d", dir, ++n)
        print FILENAME > (out ".file"); close(out ".file"); next
    }
    /^```/ { inblock = 0; next }
    inblock && NF { printf "%d\t%s\n", FNR, $0 > out }
' README.md docs/*.md
nblocks=0 ncommands=0
started=$(date +%s)
failed=0
for block in "$work"/[0-9][0-9][0-9][0-9]; do
    [ -s "$block" ] || continue
    file=$(cat "$block.file")
    nblocks=$((nblocks + 1)) ncommands=$((ncommands + $(wc -l <"$block")))
    unshare --net --ipc --mount --uts --pid --fork --mount-proc --propagation private -- \
        "$root/tests/lint/docs-check.sh" --inside "$preset" "$file" "$block" || failed=1
done
seconds=$(($(date +%s) - started))
if [ "$failed" -ne 0 ]; then
    echo "docs-check: FAILED: see the lines above ($ncommands commands in $nblocks blocks, $seconds s)"
    exit 1
fi
echo "docs-check: $ncommands commands in $nblocks blocks of README.md and docs/*.md work ($seconds s)"
