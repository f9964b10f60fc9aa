# A SIGSEGV handler on an alternate signal stack, after unbounded recursion.
scenario altstack "altstack-demo recurses until the stack runs out; its SIGSEGV handler runs on an alternate stack in the heap"
traces altstack sigaltstack,rt_sigaction,kill

scenario_altstack() {
    note "Each call of overflowStack takes a fresh frame with a 100,000-byte array: the addresses fall by about 100 KB a line, down an 8 MiB stack."
    run alt "$(command -v prlimit)" --stack=8388608 -- "$TOUR_BIN/altstack-demo"
    note "The next frame did not fit: SIGSEGV. Its handler ran on the 8 KiB alternate stack, a heap block inside the range printed at the start; the ordinary stack had no room left for it."
    note "The handler flushed stdout and ended with _exit(1). With a 2 MiB stack the recursion stops after about a quarter of the calls:"
    run alt2m "$(command -v prlimit)" --stack=2097152 -- "$TOUR_BIN/altstack-demo"
}
