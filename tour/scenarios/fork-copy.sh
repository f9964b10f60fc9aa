# fork-copy-demo: the child's copy of a variable and its exit status.
scenario fork-copy "fork-copy-demo: the child changes its copy of k and exits with 100; the parent collects it"
traces fork-copy wait4,exit_group

scenario_fork_copy() {
    run demo fork-copy-demo
    note "The child set k to 44 in its own copy of memory: the parent's k is still 10."
    note "The parent's last two lines follow wait; \"Child status\" is the exit status the child gave exit(), 100."
}
