#!/usr/bin/env bash
# The docs' commands still work: every line of every ```sh block in README.md and docs/*.md
# is run as written, from the repository root, after `source scripts/env.sh PRESET`.
#   tests/lint/docs-check.sh [PRESET]      (native by default; a CTest case, label lint)
# What a block's lines must do is said in its fence's info string, after "sh", where a reader
# of the page does not see it (docs/testing.md, "The docs' commands"):
#   ```sh                   each line must end with status 0
#   ```sh exits=N           each line must end with status N
#   ```sh until-stopped     each line is started in the background; it must still be running
#                           after a moment (or once it printed its first line), and the end of
#                           its session stops it
#   ```sh no-run: REASON    no line is run; each program a line names must exist and be
#                           executable
#   and, before any of these, "continued": the block goes on with the session of the block
#   before it in the same file (its background lines still running), as another terminal would.
# A session (a block and the blocks that continue it) runs its lines in order, each in a
# subshell, with standard input empty, in a sandbox of its own (sandbox/sandbox: fresh
# namespaces, the tree as a copy-on-write view, its own /tmp), so the programs' fixed ports and
# queue names meet nothing else and no file is left behind.
# A failed line is reported as FILE:LINE with its output; the status is 1 if any failed.
# DOCS_CHECK_SHOW=1 shows every line's output, as a reader would see it.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
readonly scale=${MECH_TIMEOUT_SCALE:-1}
readonly line_seconds=$((60 * scale)) # the longest a line may take
readonly settle_tenths=$((10 * scale)) # how long a background line has to show it started
readonly output_bytes=4000             # of a failed line's output, shown

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

# The lines of one session, each run as its mode says; FILE names the page, OUT the file that
# takes the line's output. Each sets failed=1 when the line does not do what it must.
line_no_run() {
    check_named "$text" >"$out" 2>&1 || { echo "$file:$n: not run, but: $text"; show "$out"; failed=1; }
}

line_in_background() {
    local pid t
    setsid bash -c "$text" </dev/null >"$out" 2>&1 &
    pid=$!
    background+=("$pid") outputs+=("$n")
    for ((t = 0; t < settle_tenths; t++)); do
        [ -s "$out" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && return 0
    wait "$pid"
    echo "$file:$n: ended (status $?) where it should run until stopped: $text"
    show "$out"
    failed=1
}

line_to_its_end() {
    local want=$1 status
    timeout -k 5 "$line_seconds" bash -c "$text" </dev/null >"$out" 2>&1
    status=$?
    if [ "${DOCS_CHECK_SHOW:-0}" = 1 ]; then
        echo "$file:$n: $text"
        show "$out"
    fi
    [ "$status" -ne "$want" ] || return 0
    echo "$file:$n: status $status, expected $want: $text"
    [ "$status" -eq 124 ] && echo "    (timed out after $line_seconds s)"
    show "$out"
    failed=1
}

# The end of a session: its background lines are stopped; their output is shown when a line
# failed (or DOCS_CHECK_SHOW=1).
stop_background() {
    local pid i
    for pid in "${background[@]}"; do
        kill -TERM -- "-$pid" 2>/dev/null
    done
    [ "$failed" -ne 0 ] || [ "${DOCS_CHECK_SHOW:-0}" = 1 ] || return 0
    sleep 0.2 # what they print as they are stopped
    for i in "${!background[@]}"; do
        echo "  the output of $file:${outputs[$i]}, started in the background:"
        show "$scratch/out.${outputs[$i]}"
    done
}

# Inside the sandbox: one session, from a file of "LINE<TAB>MODE<TAB>COMMAND" lines.
inside() {
    local file=$1 session=$2 n mode text out scratch failed=0
    local -a background=() outputs=()
    exec 3<"$session" || return 1
    scratch=$(mktemp -d /tmp/docs-check-XXXXXX)
    cd "$root" || return 1
    # shellcheck source=scripts/env.sh
    source scripts/env.sh "$preset" || return 1
    export TOUR_NO_BUILD=1 # the check runs on a build; the tour must not start another
    while IFS=$'\t' read -r n mode text <&3; do
        out=$scratch/out.$n
        case "$mode" in
        no-run) line_no_run ;;
        until-stopped) line_in_background ;;
        exits=*) line_to_its_end "${mode#exits=}" ;;
        esac
    done
    stop_background
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
# Each session to a file of its own, NNNN: "LINE<TAB>MODE<TAB>COMMAND" for each line that is
# not blank, MODE one of exits=N (exits=0 by default), until-stopped, no-run; NNNN.file names
# the page. A fence's info string it cannot read fails the check.
if ! awk -v dir="$work" '
    function fence_error(why) {
        printf "%s:%d: %s: %s\n", FILENAME, FNR, why, $0
        bad = 1; mode = "no-run"
    }
    FNR == 1 { n_in_file = 0 }
    /^```sh([[:space:]]|$)/ {
        info = $0; sub(/^```sh[[:space:]]*/, "", info)
        continued = sub(/^continued([[:space:]]+|$)/, "", info)
        if (info == "") mode = "exits=0"
        else if (info ~ /^exits=[0-9]+[[:space:]]*$/) { mode = info; sub(/[[:space:]]+$/, "", mode) }
        else if (info ~ /^until-stopped[[:space:]]*$/) mode = "until-stopped"
        else if (info ~ /^no-run:[[:space:]]*[^[:space:]]/) mode = "no-run"
        else fence_error("not a docs-check marker (see docs/testing.md)")
        if (continued && n_in_file == 0) fence_error("\"continued\" with no block before it")
        if (!continued || n_in_file == 0) {
            out = sprintf("%s/%04d", dir, ++n)
            print FILENAME > (out ".file"); close(out ".file")
        }
        n_in_file++; inblock = 1; next
    }
    /^```/ { inblock = 0; next }
    inblock && NF { printf "%d\t%s\t%s\n", FNR, mode, $0 > out }
    END { exit bad }
' README.md docs/*.md; then
    echo "docs-check: FAILED: fences above that it cannot read"
    exit 1
fi
nsessions=0 ncommands=0
started=$(date +%s)
failed=0
for session in "$work"/[0-9][0-9][0-9][0-9]; do
    [ -s "$session" ] || continue
    file=$(cat "$session.file")
    nsessions=$((nsessions + 1)) ncommands=$((ncommands + $(wc -l <"$session")))
    "$root/sandbox/sandbox" --root --home --overlay "$root" --ro "$work" -- \
        "$root/tests/lint/docs-check.sh" --inside "$preset" "$file" "$session" || failed=1
done
seconds=$(($(date +%s) - started))
if [ "$failed" -ne 0 ]; then
    echo "docs-check: FAILED: see the lines above ($ncommands commands in $nsessions sessions, $seconds s)"
    exit 1
fi
echo "docs-check: $ncommands commands in $nsessions sessions of README.md and docs/*.md work ($seconds s)"
