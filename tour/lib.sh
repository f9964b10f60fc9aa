# Functions for tour scenarios. A scenario is a file in tour/scenarios/ that calls
#   scenario NAME "one line: what it shows" [SECONDS]
# (SECONDS: about how long it plays, given when that is 10 s or more), and may call
#   traces NAME CALLS       the system calls that are its mechanism, for tour --trace and
#                           --html (strace's -e trace= list; "-" for a scenario that cannot be
#                           traced); forks, threads and exec are always followed. With write
#                           among them, a line that a child or thread of a program wrote is
#                           shown as its writer's
# and defines a function scenario_NAME (dashes in NAME become underscores). It runs in fresh
# network, IPC, mount and UTS namespaces (loopback up, a private /dev/shm and /dev/mqueue),
# in a fresh working directory, with these functions:
#   note TEXT               a line explaining what to notice
#   start LABEL PROG [ARG]  start a program in the background (PROG without a slash is a
#                           built program or peer in build/native/bin); its input stays open
#   run LABEL PROG [ARG]    run a program to its end (at most TOUR_RUN_SECONDS); input from our
#                           standard input if it is redirected (run c oracle-client <<< bob),
#                           else none
#   send LABEL TEXT         type TEXT (add \n yourself) into a started program
#   eof LABEL               end its input
#   wait_for LABEL TEXT [S] wait (S seconds, default 10) until its standard output shows TEXT
#   wait_err LABEL TEXT [S] the same for standard error
#   wait_in FILE TEXT [S]   the same for a file (a queue's line in /dev/mqueue, say)
#   wait_count LABEL TEXT N [S]  wait until N lines of its standard output hold TEXT
#   signal LABEL SIG        send a signal to a started program, saying so
#   signal_pid PID SIG WHO  the same for a process the tour did not start (WHO: what it is)
#   finish LABEL [S]        wait for a started program to end by itself
#   stop LABEL [SIG]        send SIG (default TERM) and wait for it to end
#   pid_of LABEL            its process id
#   wait_asleep LABEL FN [S] wait until a started program sleeps in the kernel function FN (a
#                           prefix of its /proc/PID/wchan, e.g. do_msgrcv, futex), saying so
#   other_users             succeeds where a program may run as another user (nobody); where
#                           it may not (an ordinary user's tour maps that user alone), says so
#                           in a note and fails, and the scenario leaves that part out
#   page_lane LABEL TEXT LANE  on the page of a traced play, LABEL's lines that hold TEXT go to
#                           a lane of their own, headed LANE (the first such mark whose TEXT a
#                           line holds decides); LANE '' keeps such a line with LABEL's line
#                           before it
#   page_band LABEL FROM TO INSIDE TITLE  on the page, a band titled TITLE from LABEL's first
#                           line holding FROM to its next line holding TO; LABEL's lines in it
#                           that hold INSIDE ('' for none) are marked
#   page_span LABEL FROM TO TITLE  on the page, a bar titled TITLE beside the lane's line from
#                           each of LABEL's lines holding FROM to its next line holding TO, in
#                           the FROM line's lane (a span of time: a call, a wait, a walk)
#   vm_modules KERNEL       the folder of the modules built for KERNEL (as boot_vm's)
#   vm_guest KERNEL         the folder of the static programs for KERNEL's guests
#   boot_vm [--brief] SCENARIO [KERNEL]  boot KERNEL (x86_64, Debian's 6.1 kernel, by default;
#                           or debug, the debug kernel) under qemu (vm/vm-run.sh, preempt=none)
#                           with the modules for SCENARIO of vm/guest-init.sh, as the started
#                           program "vm", and follow its report as "guest" (vm/vm-follow.sh;
#                           --brief shortens the kernel's reports); fails, with a note, where
#                           the kernel or the modules are missing
# Every program still running when the scenario ends is stopped.
# They may check what the programs printed and how they ended. OUT is a LABEL (its standard
# output) or LABEL.err (its standard error), of the last program started under that label; its
# lines are taken as the tour shows them (control bytes as \xNN). A check that holds shows
# nothing; one that does not shows "✗ what was wrong" on standard error, and the scenario plays
# on to its end, then ends with status 3 (tour/tour: "a fact did not hold").
#   expect OUT LINE...      each LINE is one whole line of OUT
#   expect_output OUT TEXT  OUT is exactly TEXT (its lines joined by newlines; '' for none)
#   expect_count OUT N [TEXT]  OUT has N lines (N lines holding TEXT)
#   expect_status LABEL S   its program ended with exit status S (a number) or was killed by
#                           the signal S (a name: KILL, TERM)
#   expect_order OUT TEXT OUT2 TEXT2  in the play's timeline (the shown lines, in the order
#                           they came) the first line of OUT holding TEXT is before the first
#                           line of OUT2 holding TEXT2 (each of its label's last program)
#   expect_that WHAT CMD... CMD (a command, test or function of the scenario's own) succeeds;
#                           else WHAT is shown as the fact that failed
#   lines_of OUT            prints OUT's lines, for the scenario's own checks
#   number_after OUT TEXT   prints the whole number that follows TEXT in the first line of
#                           OUT holding it (a pid, a count), or nothing
#   vm_lines STEP KIND      the lines of KIND (out, log or trace) of the guest's step STEP
#                           (after boot_vm; vm/guest-report.sh reads the report)
#   vm_rc STEP              the status of the guest's step STEP
#   vm_value WORD           the value the guest reported under WORD (window-seconds, ...)

# The tables below are read by tour/tour, which sources this file.
# shellcheck disable=SC2034
TOUR_ROOT=${TOUR_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
# The build tree whose programs play: the native preset's, or another one's (an exercise's).
TOUR_BUILD=${TOUR_BUILD:-$TOUR_ROOT/build/native}
TOUR_BIN=$TOUR_BUILD/bin
TOUR_LIB=$TOUR_BUILD/lib
TOUR_PTY=$TOUR_BUILD/tools/tour-pty
# shellcheck source=vm/guest-report.sh
source "$TOUR_ROOT/vm/guest-report.sh"
# shellcheck source=vm/kernel-table.sh
source "$TOUR_ROOT/vm/kernel-table.sh"
declare -A TOUR_SUMMARY=() TOUR_SECONDS=() TOUR_TRACE=()
TOUR_NAMES=()
declare -A TOUR_PID=() TOUR_IN=()
TOUR_FAILED=0

scenario() {
    TOUR_NAMES+=("$1")
    TOUR_SUMMARY[$1]=$2
    TOUR_SECONDS[$1]=${3:-}
}

traces() { TOUR_TRACE[$1]=$2; }

# The tour's own lines, between the programs' lines (tour-pty.cpp), as tour/trace.pl reads
# them (Trace::Read):
#     note = 9 spaces "── " TEXT
#     kill = 9 spaces "⚡ kill -" SIGNAME " " PID "   (" WHO ")"
#     (any other line indented by 9 spaces, a "⏸" pause say, reads as a note)
# and, in a traced play only, the page marks, which the text view leaves out:
#     lane = "@page lane" TAB LABEL TAB TEXT TAB LANE
#     band = "@page band" TAB LABEL TAB FROM TAB TO TAB INSIDE TAB TITLE
#     span = "@page span" TAB LABEL TAB FROM TAB TO TAB TITLE
note() { printf '         ── %s\n' "$*"; }

page_lane() { [ -z "${TOUR_TRACED:-}" ] || printf '@page lane\t%s\t%s\t%s\n' "$1" "$2" "$3"; }
page_band() { [ -z "${TOUR_TRACED:-}" ] || printf '@page band\t%s\t%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$4" "$5"; }
page_span() { [ -z "${TOUR_TRACED:-}" ] || printf '@page span\t%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$4"; }

_tour_prog() {
    case "$1" in
    */*) printf '%s\n' "$1" ;;
    *) printf '%s\n' "$TOUR_BIN/$1" ;;
    esac
}

start() {
    local label=$1 prog
    prog=$(_tour_prog "$2")
    shift 2
    _tour_forget "$label"
    mkfifo "$TOUR_DIR/$label.in"
    "$TOUR_PTY" "$label" "$TOUR_DIR" -- "$prog" "$@" <"$TOUR_DIR/$label.in" &
    TOUR_PID[$label]=$!
    exec {fd}>"$TOUR_DIR/$label.in"
    TOUR_IN[$label]=$fd
    _tour_wait_file "$TOUR_DIR/$label.pid" 5 || { _tour_trouble "$label did not start"; return 1; }
}

# A label may be used again: forget what its last program left, or waits would see its pid,
# output and status.
_tour_forget() { rm -f "$TOUR_DIR/$1".{in,pid,out,err,status}; }

# The longest a program run to its end may take (times MECH_TIMEOUT_SCALE): one that waits for
# ever (a receiver whose message never comes) ends the play with "did not complete".
TOUR_RUN_SECONDS=60

run() {
    local label=$1 prog status=0 limit=$((TOUR_RUN_SECONDS * ${MECH_TIMEOUT_SCALE:-1}))
    prog=$(_tour_prog "$2")
    shift 2
    _tour_forget "$label"
    if [ -t 0 ]; then
        timeout -k 5 "$limit" "$TOUR_PTY" "$label" "$TOUR_DIR" -- "$prog" "$@" </dev/null || status=$?
    else
        timeout -k 5 "$limit" "$TOUR_PTY" "$label" "$TOUR_DIR" -- "$prog" "$@" || status=$?
    fi
    [ "$status" -ne 124 ] || _tour_trouble "$label did not end within ${limit}s"
    return "$status"
}

send() { printf '%b' "$2" >&"${TOUR_IN[$1]}"; }

eof() {
    local fd=${TOUR_IN[$1]:-}
    [ -n "$fd" ] && exec {fd}>&-
    unset "TOUR_IN[$1]"
}

pid_of() { cat "$TOUR_DIR/$1.pid"; }

# _tour_poll S MESSAGE COMMAND...: run COMMAND every 50 ms until it succeeds; after S seconds
# (times MECH_TIMEOUT_SCALE, a whole number) give up, saying MESSAGE (if not empty) on
# standard error.
_tour_poll() {
    local limit=$(($1 * ${MECH_TIMEOUT_SCALE:-1})) message=$2 waited=0
    shift 2
    until "$@"; do
        sleep 0.05
        waited=$((waited + 1))
        if [ "$waited" -ge $((limit * 20)) ]; then
            [ -z "$message" ] || _tour_trouble "$message"
            return 1
        fi
    done
}

_tour_has_text() { [ -f "$1" ] && grep -qF -- "$2" "$1"; }
_tour_has_count() { [ -f "$1" ] && [ "$(grep -cF -- "$2" "$1")" -ge "$3" ]; }

_tour_wait_file() { _tour_poll "$2" "" test -s "$1"; }

_tour_wait_text() {
    local file=$1 text=$2 limit=${3:-10}
    _tour_poll "$limit" "waited ${limit}s in vain for \"$text\" in $(basename "$file")" \
        _tour_has_text "$file" "$text"
}

wait_for() { _tour_wait_text "$TOUR_DIR/$1.out" "$2" "${3:-10}"; }
wait_err() { _tour_wait_text "$TOUR_DIR/$1.err" "$2" "${3:-10}"; }
wait_in() { _tour_wait_text "$1" "$2" "${3:-10}"; }

wait_count() {
    local limit=${4:-10}
    _tour_poll "$limit" "waited ${limit}s in vain for $3 lines with \"$2\" in $1" \
        _tour_has_count "$TOUR_DIR/$1.out" "$2" "$3"
}

signal() { signal_pid "$(pid_of "$1")" "$2" "$1"; }

signal_pid() {
    local pid=$1 sig=$2 who=$3
    printf '         ⚡ kill -%s %s   (%s)\n' "$sig" "$pid" "$who"
    kill "-$sig" "$pid"
}

finish() {
    local label=$1 limit=${2:-30}
    eof "$label"
    _tour_poll "$limit" "$label did not end within ${limit}s" test -s "$TOUR_DIR/$label.status" ||
        return 1
    wait "${TOUR_PID[$label]}" 2>/dev/null || true
    unset "TOUR_PID[$label]"
}

stop() {
    local label=$1 sig=${2:-TERM}
    [ -s "$TOUR_DIR/$label.status" ] || signal "$label" "$sig"
    finish "$label" 10
}

_tour_cleanup() {
    local label
    for label in "${!TOUR_PID[@]}"; do
        [ -s "$TOUR_DIR/$label.status" ] || kill -KILL "$(pid_of "$label")" 2>/dev/null || true
        wait "${TOUR_PID[$label]}" 2>/dev/null || true
    done
    for label in "${!TOUR_IN[@]}"; do eof "$label"; done
}

_tour_sleeps_in() { wchan=$(cat "/proc/$1/wchan" 2>/dev/null) && [[ $wchan == "$2"* ]]; }

wait_asleep() {
    local label=$1 fn=$2 limit=${3:-10} pid wchan=
    pid=$(pid_of "$label")
    _tour_poll "$limit" "$label did not come to sleep in $fn within ${limit}s" \
        _tour_sleeps_in "$pid" "$fn" || return 1
    printf '         ⏸ %s sleeps in the kernel in %s   (/proc/%s/wchan)\n' "$label" "$wchan" "$pid"
}

other_users() {
    local count
    read -r _ _ count </proc/self/uid_map
    [ "$count" -le 1 ] || return 0
    note "Running a program as user nobody needs root; the tour runs as an ordinary user here and leaves this part out."
    return 1
}

# vm_modules KERNEL, vm_guest KERNEL: the folder of the modules built for a kernel of the
# matrix (x86_64, Debian's 6.1 kernel, or another, such as debug) and of the static programs
# for its guests, as the play's build has them (its kernel table, read by vm/kernel-table.sh);
# nothing for a kernel the table lacks.
vm_modules() { kernel_row "$TOUR_BUILD" "$1" && echo "$kernel_modules"; }
vm_guest() { kernel_row "$TOUR_BUILD" "$1" && echo "$kernel_guest"; }

boot_vm() {
    local follow=() reader kernel_arch kernel_models kernel_dir kernel_modules kernel_guest \
        kernel_missing
    if [ "$1" = --brief ]; then
        follow=(--brief)
        shift
    fi
    local scenario=$1 kernel=${2:-x86_64}
    if ! kernel_row "$TOUR_BUILD" "$kernel" || [ ! -e "$kernel_modules/pilecore.ko" ] ||
        [ ! -e "$kernel_dir/kernel" ]; then
        note "No kernel modules or guest kernel here: run scripts/install.sh, then build the native preset."
        return 1
    fi
    reader=$kernel_guest/clock-reader
    [ -x "$reader" ] || reader=
    mkdir -p "$TOUR_DIR/vm"
    start vm "$TOUR_ROOT/vm/vm-run.sh" "$kernel_arch" none "$scenario" "$TOUR_DIR/vm" \
        "$kernel_modules" "$kernel_dir" $reader
    start guest "$TOUR_ROOT/vm/vm-follow.sh" "${follow[@]}" "$TOUR_DIR/vm/results.log"
}

# Checks. They fork as little as they can: on a loaded machine every process started costs.
lines_of() {
    local file=$TOUR_DIR/$1.out
    [[ $1 != *.err ]] || file=$TOUR_DIR/$1
    [ ! -f "$file" ] || perl -pe 's/([\x00-\x08\x0b-\x1f])/sprintf("\\x%02x", ord $1)/ge' "$file"
}

number_after() {
    local lines line
    lines=$(lines_of "$1")
    while IFS= read -r line; do
        [[ $line == *"$2"* ]] || continue
        [[ ${line#*"$2"} =~ ^\ *(-?[0-9]+) ]] && echo "${BASH_REMATCH[1]}"
        return 0
    done <<<"$lines"
}

# The tour's failure lines, which say that a play went wrong; each is a whole line:
#   FACT    = 9 blanks "✗ " TEXT      a fact that did not hold (standard error, _tour_failed);
#                                     the play goes on, and ends with status 3 (a scenario's
#                                     case, tests/tour/play-test.sh, adds one for a silence)
#   SHOWN   = 11 blanks TEXT          right after a FACT, what shows it (expect_output's lines
#                                     due and shown, as a diff)
#   TROUBLE = "tour: " TEXT           the play could not go on as written: a program that did
#                                     not start or end, a wait that ran out (standard error,
#                                     _tour_trouble), or a command line that tour/tour refuses
#   END     = "━━━ " NAME ": a fact did not hold (✗ above)"   the last line of a play that
#           | "━━━ " NAME ": did not complete"                 went wrong (tour/tour's
#                                                             ended_badly: status 3, or another)
# A play without any of them went well. Their readers, one per language, which everything
# else calls: CMake, the regular expressions tour_failure in tests/tour/CMakeLists.txt (which
# fail a scenario's case); Perl, failure_lines in tour/Verdict.pm.
_tour_failed() {
    printf '         ✗ %s\n' "$*" >&2
    TOUR_FAILED=$((TOUR_FAILED + 1))
}
_tour_trouble() { echo "tour: $*" >&2; }

expect_that() {
    local what=$1
    shift
    "$@" || _tour_failed "$what"
}

expect() {
    local out=$1 line lines
    shift
    lines=$'\n'$(lines_of "$out")$'\n'
    for line; do
        [[ $lines == *$'\n'"$line"$'\n'* ]] || _tour_failed "$out: no line \"$line\""
    done
}

expect_output() {
    local lines
    lines=$(lines_of "$1")
    [ "$lines" != "$2" ] || return 0
    _tour_failed "$1: not the lines due (-) but these (+):"
    diff -U 100 --label due --label "$1" <(printf '%s\n' "$2") <(printf '%s\n' "$lines") |
        sed '1,3d; s/^/           /' >&2 || true
}

expect_count() {
    local lines line n=0
    lines=$(lines_of "$1")
    while IFS= read -r line; do
        [[ -z $lines || $line != *"${3:-}"* ]] || n=$((n + 1))
    done <<<"$lines"
    [ "$n" -eq "$2" ] || _tour_failed "$1: $n lines${3:+ with \"$3\"}, not $2"
}

expect_status() {
    local label=$1 due ended=''
    case "$2" in
    [0-9]*) due="exit status $2" ;;
    *) due="killed by signal $(kill -l "$2")" ;;
    esac
    [ ! -f "$TOUR_DIR/$label.status" ] || read -r ended <"$TOUR_DIR/$label.status" || true
    [[ $ended == "$due" || $ended == "$due ("* ]] || _tour_failed "$label: ${ended:-no end}, not $due"
}

# tour_line LINE: the bash reader of the tour line (its writer and grammar: tour/tour-pty.cpp).
# Splits a program's line into line_seconds, line_label, line_mark ($ | ! < =), line_continued
# ("…" or "") and line_text; fails on any other line (the tour's notes).
tour_line() {
    [[ $1 =~ ^\ *([0-9]+\.[0-9]+)s\ \ ([^ ]+)\ +([$|!<=])(…)?\ (.*)$ ]] || return 1
    line_seconds=${BASH_REMATCH[1]} line_label=${BASH_REMATCH[2]} line_mark=${BASH_REMATCH[3]}
    line_continued=${BASH_REMATCH[4]} line_text=${BASH_REMATCH[5]}
}

# _tour_line_no OUT TEXT: the number of the first timeline line of OUT's last program (since
# the last "$" line of its label) that holds TEXT, or nothing.
_tour_line_no() {
    local label=$1 mark='|' line n=0 at=''
    local line_seconds line_label line_mark line_continued line_text
    [[ $label != *.err ]] || { label=${label%.err}; mark='!'; }
    while IFS= read -r line; do
        n=$((n + 1))
        tour_line "$line" && [ "$line_label" = "$label" ] || continue
        if [ "$line_mark" = '$' ]; then
            at=''
        elif [ -z "$at" ] && [ "$line_mark" = "$mark" ] && [[ $line_text == *"$2"* ]]; then
            at=$n
        fi
    done <"$TOUR_DIR/timeline"
    echo "$at"
}

vm_lines() { guest_report_lines "$TOUR_DIR/vm/results.log" "$1" "$2"; }
vm_rc() { guest_report_rc "$TOUR_DIR/vm/results.log" "$1"; }
vm_value() { guest_report_value "$TOUR_DIR/vm/results.log" "$1"; }

expect_order() {
    local first second
    first=$(_tour_line_no "$1" "$2")
    second=$(_tour_line_no "$3" "$4")
    [ -n "$first" ] || { _tour_failed "$1: no line with \"$2\""; return 0; }
    [ -n "$second" ] || { _tour_failed "$3: no line with \"$4\""; return 0; }
    [ "$first" -lt "$second" ] || _tour_failed "$3's \"$4\" came before $1's \"$2\""
}
