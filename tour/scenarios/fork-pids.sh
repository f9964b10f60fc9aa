# fork-parent-child: process ids across fork, a parent that never collects its child, and a
# child adopted when its parent is killed.
scenario fork-pids "fork-parent-child: the ids on both sides of fork, a zombie child, an orphan adopted" 20
traces fork-pids wait4,exit_group,kill,write

_fork_field() { awk -v f="$2" '{print $f}' "/proc/$1/stat" 2>/dev/null || echo '?'; }
_fork_children() { cat /proc/"$1"/task/*/children 2>/dev/null | tr -d ' '; }

scenario_fork_pids() {
    local parent child waited=0 state adopter
    start pc fork-parent-child
    wait_count pc " child: My pid = " 1 10
    wait_for pc " Newly created child pid = "
    note "fork returned the child's pid in the parent and 0 in the child; the child's ppid is the parent's pid."
    parent=$(pid_of pc)
    child=$(_fork_children "$parent")
    wait_count pc " child: My pid = " 2 30
    while [ "$(_fork_field "$child" 3)" != Z ] && [ "$waited" -lt 100 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    state=$(_fork_field "$child" 3)
    note "Ten seconds later the child shows the same ppid and returns; nothing waits for it, so /proc shows it as state $state (zombie)."
    expect_that "the child $child is a zombie, not in state $state" test "$state" = Z
    state=$(_fork_field "$parent" 3)
    note "Meanwhile the parent spins in an empty loop (state $state) until it is killed."
    expect_that "the parent $parent runs, not in state $state" test "$state" = R
    stop pc KILL
    # The parent's two lines and the child's first come in either order.
    expect pc " PARENT : My pid = $parent " " Newly created child pid = $child "
    expect_count pc 2 " child: My pid = $child and ppid = $parent  "
    expect_count pc 4
    expect_status pc KILL

    note "Again, started from a shell, and the parent is killed while its child sleeps."
    start sh /bin/sh -c "$TOUR_BIN/fork-parent-child; echo \"sh: fork-parent-child has ended\"; read x; exit 0"
    wait_count sh " child: My pid = " 1 10
    parent=$(_fork_children "$(pid_of sh)")
    child=$(_fork_children "$parent")
    signal_pid "$parent" KILL "fork-parent-child, the parent"
    wait_for sh "sh: fork-parent-child has ended"
    adopter=$(_fork_field "$child" 4)
    note "The orphaned child $child now has parent $adopter (the nearest subreaper, or init); its second line says so."
    wait_count sh " child: My pid = " 2 30
    finish sh
    expect sh " PARENT : My pid = $parent " " Newly created child pid = $child " \
        " child: My pid = $child and ppid = $parent  "
    expect_that "the child's last line names its new parent $adopter" test \
        "$(lines_of sh | tail -n 2)" = "sh: fork-parent-child has ended
 child: My pid = $child and ppid = $adopter  "
    expect_that "the child $child was adopted by another process than its parent $parent" \
        test "$adopter" != "$parent"
}
