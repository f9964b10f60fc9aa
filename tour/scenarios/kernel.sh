# The RCU stack in a real kernel: Debian's kernel booted under qemu, the four modules loaded
# and unloaded in it, their kernel-log lines shown as the guest reports them.
scenario kernel "pilecore, pilefeed, pilepeek1 and pilepeek2 in a Debian kernel under qemu" 60
traces kernel -

# _kernel_reads STEP READER: the (data_item1,data_item2) pairs READER logged in STEP, in order.
_kernel_reads() {
    vm_lines "$1" log | grep -F "$2" |
        sed -nE 's/^.*data_item1 = ([0-9]+)\s+data_item2 = ([0-9]+)$/(\1,\2)/p' | xargs
}

# On the page each module's kernel-log lines get a lane of their own, and pilefeed's window is
# a band: pilefeed prints "in write" after each node it replaces, and between its first and
# second one it holds the copy of (30,300) half-updated; reader lines then fall inside it.
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
    # the empty line that a message beginning with a newline leaves before it
    page_lane guest "<6>" ""
    page_band guest "<6>in write " "<6>in write " "reader 1" \
        "pilefeed's window: the copy of (30,300) is half-updated and unpublished (◆ a reader's line meanwhile)"
}

scenario_kernel() {
    local old='(40,400) (30,300) (20,200) (10,100)' step
    _kernel_page_marks
    boot_vm modules || return 1
    note "qemu boots Debian's 6.1 kernel (2 CPUs, preempt=none like the modules' original target); lines marked <6> are KERN_INFO lines of the kernel log."
    wait_for guest "insmod /modules/pilecore.ko" 180
    note "Without pilecore nobody exports head: each importer's load fails with \"Unknown symbol head\"."
    wait_for guest "rmmod pilepeek2" 180
    note "pilecore pushed 10, 20, 30, 40: the readers walk from head and meet the last pushed first. Both readers are loaded together; pilecore refuses to unload while they hold it."
    note "While pilefeed spins, the guest's serial output (this report) stalls too: the kernel work that drains it is stuck on the spinning CPU."
    wait_for guest "the insmod of pilefeed returns" 240
    note "The window: pilefeed replaced (40,400) by (777,888), then busy-waited 10000 jiffies (40 s) holding the copy of (30,300) half-updated and unpublished. pilepeek1, loaded on the other CPU meanwhile, saw the new first node and the three old ones, never the half-updated pair."
    note "After the delay the other three nodes were replaced one by one, each old node freed after a grace period."
    wait_for guest "(the guest is done)" 240
    note "Loading pilefeed again finds no node (30,300): no delay. pilecore unloads once its importers are gone; loaded again it builds a fresh four-node list."
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
}
