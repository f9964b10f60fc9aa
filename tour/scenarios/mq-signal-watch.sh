# POSIX message queue "/mymq": the signal-notified watcher woken by the sender.
scenario mq-signal-watch "mq-signal-watch makes /mymq, SIGUSR1 wakes it for each mq-sender run; a stray SIGUSR1 ends it"
traces mq-signal-watch mq_open,mq_notify,mq_timedsend,mq_timedreceive,kill

scenario_mq_signal_watch() {
    start watch mq-signal-watch
    wait_in /dev/mqueue/mymq "NOTIFY_PID:$(pid_of watch)"
    note "mq-signal-watch made /mymq and registered with mq_notify; the queue's line in /dev/mqueue shows SIGNO:10 (SIGUSR1) and its pid."
    run queue /bin/cat /dev/mqueue/mymq
    expect_that "the watcher is notified by signal 10" test "$(number_after queue "SIGNO:")" = 10
    local round
    # shellcheck disable=SC2034 # only counts the runs
    for round in 1 2; do
        run sender mq-sender
        wait_for watch "Read 25 bytes" 5
        wait_in /dev/mqueue/mymq "NOTIFY_PID:$(pid_of watch)"
    done
    note "Each message landed on an empty queue: the kernel spent the registration on one SIGUSR1, the handler printed \" Singal \", the drain read 25 bytes (24 characters and the NUL) and the watcher registered again."
    signal watch USR1
    finish watch 5
    note "A SIGUSR1 sent by hand finds no message; registering again fails with EBUSY (its own registration still stands), so the status is 16."
    # A blank line and " Singal " for each SIGUSR1, and the drain's count after the two sent.
    expect_output watch $'\n Singal \nRead 25 bytes\n\n Singal \nRead 25 bytes\n\n Singal '
    expect_output watch.err "mq_notify: Device or resource busy"
    expect_status watch 16
}
