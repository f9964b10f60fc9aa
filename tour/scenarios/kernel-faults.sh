# The kernel's detectors at work: broken copies of the modules (vm/faults/, each a real module
# with one small patch) loaded one after another in the debug kernel under qemu, each caught by
# the detector that exists for its mistake, its report shown by its first lines and its frames
# in the broken module.
scenario kernel-faults "broken copies of the modules in the debug kernel, each caught by its detector" 60
traces kernel-faults -

# The faults in the order the guest plays them (guest-init.sh's faults): the guest's step, the
# broken copy, the first line of its detector's report, and what the mistake was and what the
# detector saw.
_kernel_faults=(
    "unlocked|pilepeek1-unlocked|WARNING: suspicious RCU usage|pilepeek1 without the read-side section around its walk: list_for_each_entry_rcu steps from node to node holding no rcu_read_lock(), and a grace period may end between two nodes. PROVE_RCU_LIST saw an RCU list walked outside any reader's section (\"RCU-list traversed in non-reader section\"), at the walk in init_pilepeek1. The correct pilepeek1 holds one section across the whole walk."
    "allocates|pilepeek1-allocates|BUG: sleeping function called from invalid context|pilepeek1 allocating with GFP_KERNEL inside its read-side section: the allocation may sleep to reclaim memory, which a reader must not. DEBUG_ATOMIC_SLEEP's check in the allocator found an RCU nesting depth of 2 where 0 was due, though the call did not sleep this time. The correct reader allocates nothing there (GFP_ATOMIC would be the way, or allocating before rcu_read_lock())."
    "sleeps|pilepeek1-sleeps|Voluntary context switch within RCU read-side critical section!|pilepeek1 sleeping (msleep) inside its read-side section. Preemptible RCU lets a reader be preempted, never block: the scheduler's RCU hook saw the task give up the CPU of its own accord with the section open, and warned. (No lockdep check fires here: with preemptible RCU it leaves sleeping readers to this one.)"
    "relocks|pilefeed-relocks|WARNING: possible recursive locking detected|pilefeed taking my_lock a second time while holding it. lockdep saw the task acquire a lock it already held, and showed both places in init_pilefeed, before the insmod blocked; it waits for itself forever. lockdep then switches itself off, which is why the checks that need it came first. The correct pilefeed takes my_lock once and releases it before taking it again."
    "relocks-hung|pilefeed-relocks|blocked for more than|the same insmod, still blocked on my_lock: the hung-task detector found it asleep, uninterruptible, with no switch for longer than its limit (5 s in this boot), and showed where it waits."
    "nowait|pilefeed-nowait|BUG: KASAN: use-after-free|pilefeed freeing the replaced node without synchronize_rcu(). pilepeek1-lingers (not a fault: a long read-side section, which is legal) held the first node on CPU 0 while the broken writer replaced and freed it on CPU 1; when the reader read it, KASAN saw a read of freed memory and named the writer's kfree (\"Freed by task\"). The correct pilefeed waits in synchronize_rcu() until the reader has left its section, and only then frees the node."
    "spins|pilefeed-spins|soft lockup|pilefeed's 40 s busy-wait without its cond_resched(): with preempt=none nothing else runs on its CPU. The soft-lockup detector's timer found that its watchdog task had not run there for longer than its limit (10 s in this boot) and showed where the CPU was (RIP in init_pilefeed). The correct pilefeed calls cond_resched() in the loop and lets other tasks run."
)

scenario_kernel_faults() {
    local fault step module head note
    if [ ! -e "$(vm_modules debug)/faults/pilefeed-nowait.ko" ]; then
        note "The debug kernel and the broken copies of the modules come with the tests' install (scripts/install.sh --tests, then build the native preset); without them there is nothing to show."
        return 0
    fi
    # Each broken copy's lines (its step's command and what follows it) in a lane of its own.
    for fault in "${_kernel_faults[@]}"; do
        IFS='|' read -r step module head note <<<"$fault"
        page_lane guest "$module.ko" "$module (broken copy)"
    done
    page_lane guest "    " ""
    boot_vm --brief faults debug || return 1
    note "qemu boots the debug kernel (lockdep with PROVE_RCU and PROVE_RCU_LIST, DEBUG_ATOMIC_SLEEP, KASAN, the soft-lockup and hung-task detectors; 2 CPUs, preempt=none). Each broken copy is a module of pilecore's stack with one small patch, made at build time (vm/faults/)."
    note "Each report is shortened to its first lines and the lines of its stack traces in the step's modules (the whole of it is in the console)."
    # A note once its fault's report is shown whole (the follower's line "… N more lines").
    local shown=0
    for fault in "${_kernel_faults[@]}"; do
        IFS='|' read -r step module head note <<<"$fault"
        shown=$((shown + 1))
        wait_count guest "more lines of this report" "$shown" 240
        note "$module: $note"
    done
    wait_for guest "(the guest is done)" 240
    finish guest 10
    finish vm 60
    # The guest's verdict: every step ended as it should have, each report was whole.
    expect_status vm 0
    for fault in "${_kernel_faults[@]}"; do
        IFS='|' read -r step module head note <<<"$fault"
        expect_that "$step: the kernel reported \"$head\" in ${module//-/_}" \
            _kernel_faults_caught "$step" "$head" "${module//-/_}"
    done
}

# _kernel_faults_caught STEP HEAD MODULE: STEP's kernel log holds HEAD, and a line after it names
# the module MODULE ("[MODULE]", as a stack trace shows it).
_kernel_faults_caught() {
    vm_lines "$1" log | awk -v head="$2" -v module="[$3]" '
        index($0, head) { seen = 1 }
        seen && index($0, module) { found = 1 }
        END { exit !found }'
}
