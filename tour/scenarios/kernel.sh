# The RCU stack in a real kernel: Debian's kernel booted under qemu, the four modules loaded
# and unloaded in it, their kernel-log lines shown as the guest reports them, with the kernel's
# own traced events among them (pilefeed's publications and waits for a grace period, the grace
# periods, the readers' walks).
scenario kernel "pilecore, pilefeed, pilepeek1 and pilepeek2 in a Debian kernel under qemu" 60
traces kernel -

# _kernel_reads STEP READER: the (data_item1,data_item2) pairs READER logged in STEP, in order.
_kernel_reads() {
    vm_lines "$1" log | grep -F "$2" |
        sed -nE 's/^.*data_item1 = ([0-9]+)\s+data_item2 = ([0-9]+)$/(\1,\2)/p' | xargs
}

# _kernel_records STEP: the step's kernel-log lines and traced events, in the order the guest
# reported them (one a line, the events' texts without their times).
_kernel_record() {
    # shellcheck disable=SC2154 # set by guest_report_each
    if [ "$report_step" = "$1" ] && [ "$report_kind" = log ]; then
        printf '%s\n' "$report_text"
    elif [ "$report_step" = "$1" ] && [ "$report_kind" = trace ]; then
        printf '%s\n' "${report_text#* }"
    fi
}
_kernel_records() { guest_report_each _kernel_record "$1" <"$TOUR_DIR/vm/results.log"; }

# Every wait of pilefeed in synchronize_rcu() outlasts a grace period that began after its
# call: "calls", then "a grace period begins" and "the grace period ends", then "took".
_kernel_waits_outlast_a_grace_period() {
    local step waits=0 begun=0 ended=0 line
    for step in window window-end pilefeed-again lingering; do
        while IFS= read -r line; do
            case "$line" in
            "pilefeed: calls synchronize_rcu()") begun=0 ended=0 ;;
            "RCU: a grace period begins") begun=1 ;;
            "RCU: the grace period ends") [ "$begun" = 0 ] || ended=1 ;;
            "pilefeed: synchronize_rcu() took"*)
                [ "$ended" = 1 ] || return 1
                waits=$((waits + 1))
                ;;
            esac
        done < <(_kernel_records "$step")
    done
    [ "$waits" -eq 12 ]
}

# The lingering reader's walk, pilefeed's waits and the grace periods that ended, in their order
# ("walk-begins calls walk-ends ends took ...").
_kernel_lingering() {
    _kernel_records lingering | sed -nE 's/^pilefeed: calls synchronize_rcu.*/calls/p
        s/^pilepeek1_lingers: its walk (begins|ends).*/walk-\1/p
        s/^RCU: the grace period ends$/ends/p
        s/^pilefeed: synchronize_rcu\(\) took.*/took/p' | xargs
}

# The walk began before pilefeed's first wait and ended during it; a grace period ended after
# the walk, then the wait.
_kernel_waited_for_the_reader() {
    [[ "$(_kernel_lingering) " =~ ^walk-begins\ calls\ walk-ends(\ ends)+\ took\  ]]
}

# On the page each module's kernel-log lines get a lane of their own, and pilefeed's window is
# a band: pilefeed prints "in write" after each node it replaces, and between its first and
# second one it holds the copy of (30,300) half-updated; reader lines then fall inside it. The
# traced events go to their module's lane (the grace periods to a lane of their own), and what
# spans time (pilefeed's waits, the grace periods, the readers' walks) is a bar there.
_kernel_page_marks() {
    local module
    for module in pilecore pilefeed pilepeek1 pilepeek2; do
        page_lane guest "init_$module " "$module (kernel log)"
        page_lane guest "cleanup_$module " "$module (kernel log)"
        page_lane guest "$module: " "$module (kernel log)"
    done
    page_lane guest "<6>in write " "pilefeed (kernel log)"
    page_lane guest "<6>out write " "pilefeed (kernel log)"
    page_lane guest " reader 1 " "pilepeek1 (kernel log)"
    page_lane guest " data items in stack:" "pilepeek1 (kernel log)"
    page_lane guest "<6>reader2 " "pilepeek2 (kernel log)"
    page_lane guest "<6>data_items are POPED" "pilepeek2 (kernel log)"
    page_lane guest " RCU: " "RCU grace periods (kernel)"
    page_lane guest "pilepeek1_lingers: " "pilepeek1 (kernel log)"
    # the empty line that a message beginning with a newline leaves before it
    page_lane guest "<6>" ""
    page_band guest "<6>in write " "<6>in write " "reader 1" \
        "pilefeed's window: the copy of (30,300) is half-updated and unpublished (◆ a reader's line meanwhile)"
    page_span guest "pilefeed: calls synchronize_rcu()" "pilefeed: synchronize_rcu() took" \
        "pilefeed waits in synchronize_rcu() for a grace period"
    page_span guest "RCU: a grace period begins" "RCU: the grace period ends" "a grace period"
    for module in pilepeek1 pilepeek2 pilepeek1_lingers; do
        page_span guest "$module: its walk begins" "$module: its walk ends" "$module's walk: its read-side section"
    done
}

scenario_kernel() {
    local old='(40,400) (30,300) (20,200) (10,100)' step
    _kernel_page_marks
    boot_vm modules-traced || return 1
    note "qemu boots Debian's 6.1 kernel (2 CPUs, preempt=none like the modules' original target); lines marked <6> are KERN_INFO lines of the kernel log."
    note "Lines marked ◷ are the kernel's own events, traced in the guest with kprobes (on the modules' init functions, on synchronize_rcu and on RCU's grace-period kthread), at their time in seconds since the guest booted."
    wait_for guest "insmod /modules/pilecore.ko" 180
    note "Without pilecore nobody exports head: each importer's load fails with \"Unknown symbol head\"."
    wait_for guest "rmmod pilepeek2" 180
    note "pilecore pushed 10, 20, 30, 40: the readers walk from head and meet the last pushed first. Both readers are loaded together; pilecore refuses to unload while they hold it."
    note "Next pilefeed holds the copy of one node half-updated for 10000 jiffies; until its insmod returns, the guest says every 5 s how long it has waited."
    wait_for guest "the insmod of pilefeed returns" 240
    note "The window: pilefeed published its copy of (40,400) as (777,888), then waited in synchronize_rcu() until a grace period that began after its call had ended (the one under way at the call does not count): any reader that could still hold the old node had left its read-side section, so the node could be freed. Then it busy-waited 10000 jiffies (40 s) holding the copy of (30,300) half-updated and unpublished."
    note "pilepeek1, loaded on the other CPU meanwhile, walked the list in well under a millisecond, all in one read-side section: the new first node and the three old ones, never the half-updated pair."
    note "After the delay the other three nodes were replaced one by one, each old node freed after its grace period."
    wait_for guest "pilepeek1-lingers.ko" 240
    note "Loading pilefeed again finds no node (30,300): no delay, and each wait in synchronize_rcu() lasts a grace period or two, some 15 ms: no reader was in a read-side section to hold one up."
    note "Now a reader that lingers: a copy of pilepeek1 made for this (vm/faults/pilepeek1-lingers.patch) stays in its read-side section on the first node until pilefeed has replaced it, and half a second more. pilefeed's synchronize_rcu() lasts as long: no grace period that began after the call can end while a reader that was in its section then has not left it; only then may the old node be freed."
    wait_for guest "(the guest is done)" 240
    note "pilecore unloads once its importers are gone; loaded again it builds a fresh four-node list."
    finish guest 10
    finish vm 60
    # The guest's verdict: every load and unload succeeded or failed as it should have.
    expect_status vm 0
    for step in nocore-pilepeek1 nocore-pilepeek2 nocore-pilefeed; do
        expect_that "$step: the load failed on the unknown symbol head" \
            test "$(vm_lines "$step" log | grep -c 'Unknown symbol head')" -ge 1
    done
    expect_that "reader 1 met the nodes last pushed first" \
        test "$(_kernel_reads pilepeek1-load 'reader 1')" = "$old"
    expect_that "reader 2 met the nodes last pushed first" \
        test "$(_kernel_reads pilepeek2-load reader2)" = "$old"
    expect_that "in the window reader 1 saw the new first node and the three old ones" \
        test "$(_kernel_reads window 'reader 1')" = "(777,888) (30,300) (20,200) (10,100)"
    expect_that "the writer held its node 40 s (39 at the least), not $(vm_value window-seconds)" \
        test "$(vm_value window-seconds)" -ge 39
    expect_that "after the delay every node was replaced" \
        test "$(_kernel_reads pilepeek2-after reader2)" = "(777,888) (777,888) (777,888) (777,888)"
    expect_that "the writer loaded again without a delay, not $(vm_value again-seconds) s" \
        test "$(vm_value again-seconds)" -lt 10
    expect_that "pilecore loaded again built a fresh list" \
        test "$(_kernel_reads pilepeek1-fresh 'reader 1')" = "$old"
    expect_that "pilefeed published each copy, then waited in synchronize_rcu() for a grace period begun after its call, twelve times" \
        _kernel_waits_outlast_a_grace_period
    expect_that "pilefeed's wait outlasted the lingering reader's walk, and a grace period ended only after it, not: $(_kernel_lingering)" \
        _kernel_waited_for_the_reader
    expect_that "the lingering reader saw the node it held as it was, (777,888)" \
        test "$(_kernel_reads lingering 'reader 1')" = "(777,888)"
    expect_that "in the window pilepeek1's four lines fell inside its traced walk" \
        test "$(_kernel_records window | sed -nE 's/^pilepeek1: its walk (begins|ends).*/\1/p; s/.* reader 1 .*/node/p' |
            xargs)" = "begins node node node node ends"
}
