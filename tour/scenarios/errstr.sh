# Per-thread error strings: errstr-thread-test, which compiles in the thread-local strerror.
scenario errstr "errstr-thread-test: two threads call strerror and each keeps its own text"
traces errstr clone3,write

# _errstr_check LABEL: its four lines in order, each thread with its own text at an address
# of its own. The two addresses are left in errstr_addresses.
_errstr_check() {
    local main other
    main=$(lines_of "$1" | sed -n 's/^Main thread:  str (\(.*\)) = .*$/\1/p')
    other=$(lines_of "$1" | sed -n 's/^Other thread: str (\(.*\)) = .*$/\1/p')
    expect_output "$1" "Main thread has called strerror()
Other thread about to call strerror()
Other thread: str ($other) = Operation not permitted
Main thread:  str ($main) = Invalid argument"
    expect_that "$1: the threads' buffers at two addresses, not both at $main" test "$main" != "$other"
    errstr_addresses="$main $other"
}

scenario_errstr() {
    local first errstr_addresses
    note "The main thread asks strerror for EINVAL's text, then starts a second thread, which asks for EPERM's."
    run test errstr-thread-test
    _errstr_check test
    first=$errstr_addresses
    note "Two different addresses: each thread's buffer is its own thread-local array, in that thread's TLS block."
    note "So the main thread's text is still \"Invalid argument\" after the other thread's call: nothing was overwritten."
    note "Standard output is a terminal here, so lines appear as printed; on a pipe all four come at the end."
    run again errstr-thread-test
    note "A second run: the addresses move with the threads' TLS blocks (address space randomisation), the texts do not."
    _errstr_check again
    [ "$(cat /proc/sys/kernel/randomize_va_space)" = 0 ] ||
        expect_that "the addresses moved from one run to the next" test "$errstr_addresses" != "$first"
}
