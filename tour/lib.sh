# Functions for tour scenarios. A scenario is a file in tour/scenarios/ that calls
#   scenario NAME "one line: what it shows" [SECONDS]
# (SECONDS: about how long it plays, given when that is 10 s or more), and may call
#   traces NAME CALLS       the system calls that are its mechanism, for tour --trace and
#                           --html (strace's -e trace= list; "-" for a scenario that cannot be
#                           traced); forks, threads and exec are always followed
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
#   finish LABEL [S]        wait for a started program to end by itself
#   stop LABEL [SIG]        send SIG (default TERM) and wait for it to end
#   pid_of LABEL            its process id
#   wait_asleep LABEL FN [S] wait until a started program sleeps in the kernel function FN (a
#                           prefix of its /proc/PID/wchan, e.g. do_msgrcv, futex), saying so
#   other_users             succeeds where a program may run as another user (nobody); where
#                           it may not (an ordinary user's tour maps that user alone), says so
#                           in a note and fails, and the scenario leaves that part out
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

# The tables below are read by tour/tour, which sources this file.
# shellcheck disable=SC2034
TOUR_ROOT=${TOUR_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
# The build tree whose programs play: the native preset's, or another one's (an exercise's).
TOUR_BUILD=${TOUR_BUILD:-$TOUR_ROOT/build/native}
TOUR_BIN=$TOUR_BUILD/bin
TOUR_LIB=$TOUR_BUILD/lib
TOUR_PTY=$TOUR_BUILD/tools/tour-pty
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

note() { printf '         ── %s\n' "$*"; }

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
    _tour_wait_file "$TOUR_DIR/$label.pid" 5 || { echo "tour: $label did not start" >&2; return 1; }
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
    [ "$status" -ne 124 ] || echo "tour: $label did not end within ${limit}s" >&2
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
            [ -z "$message" ] || echo "tour: $message" >&2
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

signal() {
    local label=$1 sig=$2
    printf '         ⚡ kill -%s %s   (%s)\n' "$sig" "$(pid_of "$label")" "$label"
    kill "-$sig" "$(pid_of "$label")"
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

_tour_failed() {
    printf '         ✗ %s\n' "$*" >&2
    TOUR_FAILED=$((TOUR_FAILED + 1))
}

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

# _tour_line_no OUT TEXT: the number of the first timeline line of OUT's last program (since
# the last "$" line of its label) that holds TEXT, or nothing.
_tour_line_no() {
    local label=$1 mark='|'
    [[ $label != *.err ]] || { label=${label%.err}; mark='!'; }
    TEXT=$2 awk -v label="$label" -v mark="$mark" '
        $2 != label { next }
        substr($3, 1, 1) == "$" { at = "" }
        at == "" && substr($3, 1, 1) == mark && index($0, ENVIRON["TEXT"]) { at = NR }
        END { print at }
    ' "$TOUR_DIR/timeline"
}

expect_order() {
    local first second
    first=$(_tour_line_no "$1" "$2")
    second=$(_tour_line_no "$3" "$4")
    [ -n "$first" ] || { _tour_failed "$1: no line with \"$2\""; return 0; }
    [ -n "$second" ] || { _tour_failed "$3: no line with \"$4\""; return 0; }
    [ "$first" -lt "$second" ] || _tour_failed "$3's \"$4\" came before $1's \"$2\""
}
