# A SIGINT handler installed with SA_NODEFER: a second SIGINT enters it again at once.
scenario sigint-defer "sigint-defer-demo: its SIGINT handler sleeps 10 s, and SA_NODEFER lets a second SIGINT in meanwhile" 25
traces sigint-defer rt_sigaction,kill

# Wait until the program sleeps (in its handler): a SIGINT sent between the arrival line and
# the sleep would run the nested handler to its end before the outer one began to sleep.
sigint_defer_wait_sleeping() {
    local stat tries=0
    while stat=$(cat "/proc/$(pid_of "$1")/stat") && [ "$(cut -d' ' -f2 <<<"${stat##*)}")" != S ]; do
        tries=$((tries + 1))
        [ "$tries" -lt 200 ] || return 1
        sleep 0.05
    done
}

scenario_sigint_defer() {
    ulimit -c 0 # SIGQUIT ends it at the end; no core file
    start demo sigint-defer-demo
    wait_count demo "This is a pointless message." 2
    note "The handler is installed; the main loop prints a message and sleeps a second, for ever."
    signal demo INT
    wait_for demo "We have received signal :  2 "
    note "One SIGINT: the handler prints its arrival line and sleeps ten seconds; the main loop waits meanwhile."
    local messages
    messages=$(grep -cF "This is a pointless message." "$TOUR_DIR/demo.out")
    wait_for demo " exit from sighandler " 30
    wait_count demo "This is a pointless message." $((messages + 1))
    note "The handler returned; the interrupted one-second sleep is not resumed: the next message comes at once."
    wait_count demo "This is a pointless message." $((messages + 2))
    signal demo INT
    wait_count demo "We have received signal :  2 " 2
    sigint_defer_wait_sleeping demo
    signal demo INT
    wait_count demo "We have received signal :  2 " 3
    note "Two SIGINTs: SA_NODEFER leaves SIGINT unblocked in its own handler, so the second one entered a nested handler at once."
    wait_count demo " exit from sighandler " 3 30
    note "Ten seconds later the inner handler ends, and the outer one, whose sleep the second SIGINT cut short, ends right after it."
    wait_count demo "This is a pointless message." $((messages + 3))
    note "SIGINT never ends it; SIGQUIT (Ctrl-\\ on a terminal), which it does not catch, does."
    stop demo QUIT
    # Its lines, each run of messages as one: no message while a handler sleeps, the nested
    # arrival before either handler ends, and a message after each return.
    expect_that "the arrival, exit and message lines in the order of the SIGINTs" test \
        "$(lines_of demo | awk '!(/pointless/ && $0 == last) { print } { last = $0 }')" = "Successfully installed signal handler for SIGINT
This is a pointless message.
We have received signal :  2 
 exit from sighandler 
This is a pointless message.
We have received signal :  2 
We have received signal :  2 
 exit from sighandler 
 exit from sighandler 
This is a pointless message."
    expect_status demo QUIT
}
