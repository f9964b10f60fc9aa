# Per-thread error strings: errstr-thread-test, which compiles in the thread-local strerror.
scenario errstr "errstr-thread-test: two threads call strerror and each keeps its own text"
traces errstr clone3

scenario_errstr() {
    note "The main thread asks strerror for EINVAL's text, then starts a second thread, which asks for EPERM's."
    run test errstr-thread-test
    note "Two different addresses: each thread's buffer is its own thread-local array, in that thread's TLS block."
    note "So the main thread's text is still \"Invalid argument\" after the other thread's call: nothing was overwritten."
    note "Standard output is a terminal here, so lines appear as printed; on a pipe all four come at the end."
    run again errstr-thread-test
    note "A second run: the addresses move with the threads' TLS blocks (address space randomisation), the texts do not."
}
