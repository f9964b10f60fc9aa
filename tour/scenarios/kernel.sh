# The RCU stack in a real kernel: Debian's kernel booted under qemu, the four modules loaded
# and unloaded in it, their kernel-log lines shown as the guest reports them.
scenario kernel "pilecore, pilefeed, pilepeek1 and pilepeek2 in a Debian kernel under qemu" 60
traces kernel -

# Shared with the clock scenario: boots the x86_64 guest for SCENARIO and follows its report.
_tour_vm() {
    local scenario=$1 arch=x86_64 kernel=${MECH_KERNEL_CACHE:-/var/cache/mechanisms/kernel}/current
    local modules=$TOUR_ROOT/build/kernel/$arch reader=$TOUR_ROOT/build/kernel/$arch/guest/clock-reader
    if [ ! -e "$modules/pilecore.ko" ] || [ ! -e "$kernel/$arch/kernel" ]; then
        note "No kernel modules or guest kernel here: run scripts/install.sh, then build the native preset."
        return 1
    fi
    [ -x "$reader" ] || reader=
    mkdir -p "$TOUR_DIR/vm"
    start vm "$TOUR_ROOT/tests/vm/vm-run.sh" "$arch" none "$scenario" "$TOUR_DIR/vm" \
        "$modules" "$kernel/$arch" $reader
    start guest "$TOUR_ROOT/tests/vm/vm-follow.sh" "$TOUR_DIR/vm/results.log"
}

scenario_kernel() {
    _tour_vm modules || return 1
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
}
