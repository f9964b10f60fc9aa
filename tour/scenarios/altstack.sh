# A SIGSEGV handler on an alternate signal stack, after unbounded recursion.
scenario altstack "altstack-demo recurses until the stack runs out; its SIGSEGV handler runs on an alternate stack in the heap"
traces altstack sigaltstack,rt_sigaction,kill

# _altstack_check LABEL LIMIT: the run under a stack of LIMIT bytes numbered its calls 1, 2, ...
# with frames about 100 KB apart, reached to within two frames of LIMIT below the top of the
# stack, then caught SIGSEGV on a handler stack inside the alternate stack and ended with 1.
# Sets altstack_calls to the number of calls.
_altstack_check() {
    local out=$1 limit=$2 top=0 low=0 high=0 handler=0 prev='' numbers='' drop bad='' line
    local number='(0x[0-9a-f]+)'
    altstack_calls=0
    while IFS= read -r line; do
        if [[ $line =~ ^Call\ +([0-9]+)\ -\ top\ of\ stack\ near\ +$number$ ]]; then
            altstack_calls=$((altstack_calls + 1))
            numbers+=" ${BASH_REMATCH[1]}"
            if [ -n "$prev" ]; then
                drop=$((prev - BASH_REMATCH[2]))
                [ "$drop" -ge 100000 ] && [ "$drop" -lt 102400 ] || bad+=" ${BASH_REMATCH[1]}"
            fi
            prev=${BASH_REMATCH[2]}
        elif [[ $line =~ ^Top\ of\ standard\ stack\ is\ near\ +$number$ ]]; then
            top=${BASH_REMATCH[1]}
        elif [[ $line =~ ^Alternate\ stack\ is\ at\ +$number-$number$ ]]; then
            low=${BASH_REMATCH[1]} high=${BASH_REMATCH[2]}
        elif [[ $line =~ ^Top\ of\ handler\ stack\ near\ +$number$ ]]; then
            handler=${BASH_REMATCH[1]}
        fi
    done < <(lines_of "$out")
    expect_that "$out: calls numbered 1 to $altstack_calls, not$numbers" \
        test "$numbers" = "$(printf ' %d' $(seq "$altstack_calls"))"
    expect_that "$out: frames about 100 KB apart, not at calls$bad" test -z "$bad"
    expect_that "$out: the calls stopped within two frames of the $limit-byte limit" \
        test -n "$prev" -a $((top - ${prev:-0})) -le "$limit" -a $((top - ${prev:-0} + 200000)) -gt "$limit"
    expect_that "$out: the handler's stack at $handler is inside the alternate stack $low-$high" \
        test $((low)) -le $((handler)) -a $((handler)) -le $((high))
    expect "$out" "Caught signal 11 (Segmentation fault)"
    expect_status "$out" 1
}

scenario_altstack() {
    local altstack_calls full
    note "Each call of overflowStack takes a fresh frame with a 100,000-byte array: the addresses fall by about 100 KB a line, down an 8 MiB stack."
    run alt "$(command -v prlimit)" --stack=8388608 -- "$TOUR_BIN/altstack-demo"
    _altstack_check alt 8388608
    full=$altstack_calls
    note "The next frame did not fit: SIGSEGV. Its handler ran on the 8 KiB alternate stack, a heap block inside the range printed at the start; the ordinary stack had no room left for it."
    note "The handler flushed stdout and ended with _exit(1). With a 2 MiB stack the recursion stops after about a quarter of the calls:"
    run alt2m "$(command -v prlimit)" --stack=2097152 -- "$TOUR_BIN/altstack-demo"
    _altstack_check alt2m 2097152
    expect_that "a quarter of the stack took about a quarter of the $full calls, not $altstack_calls" \
        test $((4 * altstack_calls - full)) -le 4 -a $((full - 4 * altstack_calls)) -le 4
}
