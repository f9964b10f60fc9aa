# The two offset readers on the same file ./test.
scenario fork-offset "fork-offset-reader and fork-late-open-reader: a file offset shared across fork, and one that is not"
traces fork-offset openat,read,lseek,wait4,write

scenario_fork_offset() {
    printf abcdefgh >./test
    note "./test holds abcdefgh."
    run shared fork-offset-reader
    note "Opened before fork: parent and child share one open file, so one offset. The child read a, b; the parent, after wait, goes on with c, d."
    expect_output shared $' in child a\n in child b\n in parent c\n in parent d'
    run late fork-late-open-reader
    note "Opened after fork, in the parent only: the child's descriptor is not open (EBADF, its buffer keeps '?'); the parent starts at a, b."
    expect_output late $' in child ?\n in child ?\n in parent a\n in parent b'
    expect_output late.err "child:: Bad file descriptor"
}
