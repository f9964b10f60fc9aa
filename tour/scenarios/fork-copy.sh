# fork-copy-demo: the child's copy of a variable and its exit status.
scenario fork-copy "fork-copy-demo: the child changes its copy of k and exits with 100; the parent collects it"
traces fork-copy wait4,exit_group,write

scenario_fork_copy() {
    run demo fork-copy-demo
    note "The child set k to 44 in its own copy of memory: the parent's k is still 10."
    note "The parent's last two lines follow wait; \"Child status\" is the exit status the child gave exit(), 100."
    expect demo " end of child k = 10" " end of child k = 44" "end of parent k = 10" \
        "Child status = 100" " My pid = $(pid_of demo) "
    expect_that "the child's own pid is the one fork gave the parent" \
        test "$(number_after demo " child: My pid =")" = "$(number_after demo " Newly created child pid =")"
    expect_order demo " end of child k = 44" demo "end of parent k = 10"
    expect_count demo 7
    expect_status demo 0
}
