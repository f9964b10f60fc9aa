# shellcheck shell=bash
# Long steps with progress, for the install and the tour's build. A step's own output goes to
# a log; the person waiting sees what it does, how far it is and for how long:
#   progress_step TAG WHAT LOG HOW_FAR COMMAND...
# runs COMMAND with its standard output and error in LOG and prints "TAG: WHAT" when it
# starts, then at least every PROGRESS_EVERY seconds (20) "TAG: WHAT: 1 min 20 s" followed by
# what `HOW_FAR LOG` prints (a function of the caller's; "-" for none), and at the end
# "TAG: WHAT: done in ...". On a terminal the line is redrawn in place; on a pipe each is a
# plain line, with no control characters. A step that fails prints "TAG: WHAT failed (status
# N) after ...; its log: LOG" and the log's last lines on standard error, and returns N.

PROGRESS_EVERY=${PROGRESS_EVERY:-20}

# progress_duration SECONDS: "45 s" or "3 min 05 s".
progress_duration() {
    if [ "$1" -lt 60 ]; then
        printf '%d s' "$1"
    else
        printf '%d min %02d s' $(($1 / 60)) $(($1 % 60))
    fi
}

# _progress_show LINE FINAL: on a terminal, LINE replaces the line shown so far (and FINAL=1
# ends it); elsewhere it is printed on a line of its own.
_progress_show() {
    if [ -t 1 ]; then
        printf '\r\033[K%s' "$1"
        [ "$2" != 1 ] || printf '\n'
    else
        printf '%s\n' "$1"
    fi
}

progress_step() {
    local tag=$1 what=$2 log=$3 how_far=$4 pid status=0 begun now far shown
    shift 4
    mkdir -p "$(dirname "$log")"
    begun=$(date +%s)
    shown=$begun
    _progress_show "$tag: $what" 0
    "$@" >"$log" 2>&1 </dev/null &
    pid=$!
    while kill -0 "$pid" 2>/dev/null; do
        sleep 1
        now=$(date +%s)
        [ $((now - shown)) -ge "$PROGRESS_EVERY" ] || continue
        shown=$now
        far=''
        [ "$how_far" = - ] || far=$("$how_far" "$log" 2>/dev/null || true)
        _progress_show "$tag: $what: $(progress_duration $((now - begun)))${far:+, $far}" 0
    done
    wait "$pid" || status=$?
    now=$(progress_duration $(($(date +%s) - begun)))
    if [ "$status" -eq 0 ]; then
        _progress_show "$tag: $what: done in $now" 1
        return 0
    fi
    _progress_show "$tag: $what failed (status $status) after $now; its log: $log" 1
    tail -n 15 "$log" | sed 's/^/    | /' >&2
    return "$status"
}

# Ready-made HOW_FAR functions.
# progress_ninja LOG: the last "[N/M]" of a Ninja build.
progress_ninja() {
    grep -o '^\[[0-9]*/[0-9]*\]' "$1" | tail -n 1 | tr -d '[]' | sed 's|/| of |; s/$/ build steps/'
}

# progress_kbuild LOG: how many files Kbuild has compiled so far.
progress_kbuild() {
    printf '%d files compiled' "$(grep -c '^ *CC ' "$1")"
}

# progress_last LOG: the log's last line (its first 60 characters), for steps that say
# themselves what they are at.
progress_last() {
    tail -n 1 "$1" | tr -d '\r' | tr -c '[:print:]' ' ' | cut -c1-60
}

# progress_retry COMMAND...: COMMAND, tried again up to twice, 30 s apart, when it fails: a
# mirror in the middle of a sync fails a download now and then ("File has unexpected size").
progress_retry() {
    local try
    for try in 1 2; do
        "$@" && return 0
        echo "failed (try $try of 3); trying again in 30 s"
        sleep 30
    done
    "$@"
}
