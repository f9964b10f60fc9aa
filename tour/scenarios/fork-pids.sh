# fork-parent-child: process ids across fork, a parent that never collects its child, and a
# child adopted when its parent is killed.
scenario fork-pids "fork-parent-child: the ids on both sides of fork, a zombie child, an orphan adopted" 20

_fork_field() { awk -v f="$2" '{print $f}' "/proc/$1/stat" 2>/dev/null || echo '?'; }
_fork_children() { cat /proc/"$1"/task/*/children 2>/dev/null | tr -d ' '; }

# Wait until LABEL's output holds TEXT at least N times (within S seconds).
_fork_wait_count() {
    local label=$1 text=$2 n=$3 limit=$4 waited=0
    until [ "$(grep -cF -- "$text" "$TOUR_DIR/$label.out" 2>/dev/null)" -ge "$n" ]; do
        sleep 0.05
        waited=$((waited + 1))
        if [ "$waited" -ge $((limit * 20)) ]; then
            echo "tour: waited ${limit}s in vain for $n lines \"$text\" from $label" >&2
            return 1
        fi
    done
}

scenario_fork_pids() {
    local parent child waited=0
    start pc fork-parent-child
    _fork_wait_count pc " child: My pid = " 1 10
    wait_for pc " Newly created child pid = "
    note "fork returned the child's pid in the parent and 0 in the child; the child's ppid is the parent's pid."
    parent=$(pid_of pc)
    child=$(_fork_children "$parent")
    _fork_wait_count pc " child: My pid = " 2 30
    while [ "$(_fork_field "$child" 3)" != Z ] && [ "$waited" -lt 100 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    note "Ten seconds later the child shows the same ppid and returns; nothing waits for it, so /proc shows it as state $(_fork_field "$child" 3) (zombie)."
    note "Meanwhile the parent spins in an empty loop (state $(_fork_field "$parent" 3)) until it is killed."
    stop pc KILL

    note "Again, started from a shell, and the parent is killed while its child sleeps."
    start sh /bin/sh -c "$TOUR_BIN/fork-parent-child; echo \"sh: fork-parent-child has ended\"; read x; exit 0"
    _fork_wait_count sh " child: My pid = " 1 10
    parent=$(_fork_children "$(pid_of sh)")
    child=$(_fork_children "$parent")
    printf '         ⚡ kill -KILL %s   (fork-parent-child, the parent)\n' "$parent"
    kill -KILL "$parent"
    wait_for sh "sh: fork-parent-child has ended"
    note "The orphaned child $child now has parent $(_fork_field "$child" 4) (the nearest subreaper, or init); its second line says so."
    _fork_wait_count sh " child: My pid = " 2 30
    finish sh
}
