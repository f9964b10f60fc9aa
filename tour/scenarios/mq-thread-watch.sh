# POSIX message queue "/my_mq": the thread-notified watcher fed by another process.
scenario mq-thread-watch "mq-thread-watch makes /my_mq; each notification runs a new thread that reads what my-mq-writer sent"
traces mq-thread-watch mq_open,mq_notify,mq_timedsend,mq_timedreceive,write

scenario_mq_thread_watch() {
    local left
    start watch mq-thread-watch
    wait_in /dev/mqueue/my_mq "NOTIFY_PID:$(pid_of watch)"
    run queue /bin/cat /dev/mqueue/my_mq
    note "mq-thread-watch made /my_mq and registered with mq_notify; NOTIFY:2 is SIGEV_THREAD."
    expect_that "the registration is SIGEV_THREAD (NOTIFY:2)" test "$(number_after queue "NOTIFY:")" = 2
    run writer my-mq-writer 1 100
    wait_for watch "Read 100 bytes" 5
    note "The message landed on an empty queue: the C library started threadFunc on a new thread, which read it, registered again and ended."
    wait_in /dev/mqueue/my_mq "NOTIFY_PID:$(pid_of watch)"
    run writer my-mq-writer 5 10-14
    wait_for watch "Read 14 bytes" 5
    note "Five messages sent in a row: each line is one message; those that came while a thread drained were read by that same drain."
    run threads /bin/ls "/proc/$(pid_of watch)/task"
    note "Left: the main thread (waiting in pause) and the C library's helper thread; the notification threads have ended."
    left=$(lines_of threads | xargs)
    expect_that "two threads left, the main one ($(pid_of watch)) first, not: $left" \
        test "${left% *}" = "$(pid_of watch)" -a "$(wc -w <<<"$left")" -eq 2
    stop watch
    # One line per message, in the order sent: 100 bytes, then 10 to 14.
    expect_output watch "$(printf 'Read %d bytes\n' 100 10 11 12 13 14)"
}
