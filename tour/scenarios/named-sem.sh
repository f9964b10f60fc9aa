# The POSIX named semaphore "/mysem": named-sem-wait takes two units, mysem-poster gives them.
scenario named-sem "named-sem-wait takes two units from /mysem and is released by mysem-poster's posts"
traces named-sem openat,futex

scenario_named_sem() {
    note "No /mysem yet: sem_open without O_CREAT fails, and the status is the error number (ENOENT, 2)."
    run waiter named-sem-wait
    expect_output waiter ''
    expect_output waiter.err "sem_open: No such file or directory"
    expect_status waiter 2
    note "mysem-poster creates /mysem with value 1 (a file in /dev/shm) and posts nothing."
    run poster mysem-poster 1 0
    start waiter named-sem-wait
    wait_asleep waiter futex
    note "The waiter took the one unit and now sleeps in its second sem_wait, on a futex in the semaphore's memory."
    run poster mysem-poster 0 1 1000
    finish waiter
    note "One post a second later released it: both waits passed, then the line with its process id."
    expect_output waiter "$(pid_of waiter) sem_wait() succeeded"
    expect_status waiter 0
    expect_order poster "/mysem opened, value 0" waiter "sem_wait() succeeded"
    run poster mysem-poster 0 0
    # The waiter took both units: none is left.
    expect_output poster "mysem-poster: /mysem opened, value 0"
}
