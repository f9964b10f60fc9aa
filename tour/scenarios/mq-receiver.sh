# POSIX message queue "/mymq": the receiver taking what the sender put there.
scenario mq-receiver "mq-receiver waits on the empty /mymq, takes mq-sender's message, and reports it after the bytes on a pipe"
traces mq-receiver mq_open,mq_notify,mq_timedsend,mq_timedreceive,kill

scenario_mq_receiver() {
    start watch mq-signal-watch
    wait_in /dev/mqueue/mymq "NOTIFY_PID:$(pid_of watch)"
    stop watch KILL
    note "mq-signal-watch made /mymq and was stopped, so that nothing but the receiver reads the queue."
    start receiver mq-receiver
    run queue /bin/cat /dev/mqueue/mymq
    note "The queue is empty (QSIZE:0): mq-receiver waits in mq_receive."
    expect_that "the queue is empty" test "$(number_after queue "QSIZE:")" = 0
    run sender mq-sender
    finish receiver 5
    note "The sender's 25 bytes went straight to the waiting receiver: 24 characters, the NUL (shown as \\x00), priority 50."
    expect_output receiver $'Read 25 bytes; priority = 50\nwriting message to queue\\x00'
    expect_status receiver 0
    run sender mq-sender
    run queue /bin/cat /dev/mqueue/mymq
    note "With nobody waiting, the message stays in the queue: QSIZE:25."
    expect_that "the queue holds 25 bytes" test "$(number_after queue "QSIZE:")" = 25
    run pipe /bin/sh -c "$TOUR_BIN/mq-receiver | cat"
    note "Through a pipe the report line is held in the stdio buffer until exit, so it comes after the bytes written straight to descriptor 1."
    expect_output pipe $'writing message to queue\\x00\nRead 25 bytes; priority = 50'
}
