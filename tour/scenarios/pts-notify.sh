# pts-notify-task: a line written to another terminal through the shell.
scenario pts-notify "pts-notify-task: the shell writes Value Changed to the terminal /dev/pts/1"
traces pts-notify wait4

scenario_pts_notify() {
    # The sandbox's terminals are its own, none open yet: /dev/pts/1 is the second one opened.
    start user0 /bin/sh -c 'tty; exec cat'
    wait_for user0 /dev/pts/0
    start user1 /bin/sh -c 'tty; exec cat'
    wait_for user1 /dev/pts/1
    note "Two users sit at the terminals /dev/pts/0 and /dev/pts/1."
    run task pts-notify-task
    wait_for user1 "Value Changed"
    note "The line came out on /dev/pts/1, not on the task's own terminal; the task ended with system()'s status, 0."
    expect_output task ''
    expect_status task 0
    if other_users; then
        note "Now as user nobody, who may not write to /dev/pts/1 (mode $(stat -c %a /dev/pts/1), owner $(stat -c %U /dev/pts/1)):"
        run task /usr/bin/setpriv --reuid=nobody --regid=nogroup --clear-groups "$TOUR_BIN/pts-notify-task"
        note "The shell's complaint lands on the task's standard error; the shell's exit code 2 sits in bits 8 to 15 of system()'s result, so the task still ends with 0."
        expect_count task.err 1 "/dev/pts/1: Permission denied"
        expect_status task 0
    fi
    stop user1
    stop user0
    # One line reached /dev/pts/1, the first run's; nothing reached /dev/pts/0.
    expect_output user1 $'/dev/pts/1\nValue Changed'
    expect_output user0 /dev/pts/0
}
