# Handlers installed with signal() set flags that a busy loop polls.
scenario signal-flags "signal-flags-demo: SIGINT, SIGQUIT and SIGHUP handlers set flags that move a busy loop through three phases"
traces signal-flags rt_sigaction,kill

scenario_signal_flags() {
    start flags "$TOUR_ROOT/tour/runs" "$TOUR_BIN/signal-flags-demo"
    wait_for flags "I am happy now"
    note "Phase one: the loop prints its line as fast as it can and polls one_occured after each. It floods its output, so tour/runs shows each run of equal lines once, then its length."
    signal flags INT
    wait_for flags "I am now handling signal no 2"
    note "SIGINT: sh_for_tt sets tt_occured and prints its line; the loop polls only one_occured, so phase one goes on."
    signal flags HUP
    wait_for flags "I am going to die some day"
    note "SIGHUP: sh_for_one sets one_occured. Phase two printed exactly one line, found tt_occured already set, and phase three began."
    signal flags QUIT
    wait_for flags "I am now handling signal no 3"
    note "SIGQUIT is handled like SIGINT (3): no end, no core dump."
    signal flags HUP
    wait_count flags "This is handler for signal no one" 2
    note "A second SIGHUP prints the handler's line again and changes nothing else."
    stop flags TERM
    note "SIGTERM, which it does not catch, ends it; the output still in its buffer is lost."
    # The runs of lines in order (their lengths left out); a last run of phase three may
    # or may not have begun before SIGTERM.
    expect_that "the phases and handler lines in the order of the signals" test \
        "$(lines_of flags | grep -v '^   (' | sed '$ { / I am going to die some day $/d }')" = \
        " I am happy now , I will do same work forever
 I am now handling signal no 2 
 I am happy now , I will do same work forever
 This is handler for signal no one 
 I am doing bad work for my survival
 I am going to die some day 
 I am now handling signal no 3 
 I am going to die some day 
 This is handler for signal no one "
    expect_that "phase two printed exactly one line" \
        test "$(lines_of flags | grep -A1 -F "bad work" | tail -n 1)" = " I am going to die some day "
    expect_status flags TERM
}
