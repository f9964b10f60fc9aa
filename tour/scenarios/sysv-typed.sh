# System V typed messages on the queue with key 8979: one sender, two receivers by type.
scenario sysv-typed "sysv-typed-sender puts types 10 and 20 on queue 8979; each receiver takes them in its own order"
traces sysv-typed msgget,msgsnd,msgrcv,msgctl

scenario_sysv_typed() {
    local a b blank
    a=$(printf 'a%.0s' {1..100})
    b=$(printf 'b%.0s' {1..100})
    blank=$(printf ' %.0s' {1..100})
    note "Sender first: two messages of 100 bytes each, type 10 (\"a\") then type 20 (\"b\"); each msgsnd returns 0."
    run sender sysv-typed-sender
    expect_output sender $' return value of msgsnd of As= 0\n return value of msgsnd of Bs= 0'
    run receiver-a sysv-typed-receiver-a
    note "receiver-a asked for type 10, then type 20: the \"a\" line, then the \"b\" line."
    expect_output receiver-a "$a"$'\n'"$b"
    run sender sysv-typed-sender
    run receiver-b sysv-typed-receiver-b
    note "receiver-b asked for type 20 first: it takes the newer message before the older one."
    expect_output receiver-b "$b"$'\n'"$a"

    note "receiver-a started on an empty queue blocks in msgrcv until a type-10 message comes."
    start receiver-a sysv-typed-receiver-a
    wait_asleep receiver-a do_msgrcv
    run sender sysv-typed-sender
    finish receiver-a
    expect_output receiver-a "$a"$'\n'"$b"

    note "receiver-b's first receive does not wait (IPC_NOWAIT): a line of 100 blanks at once, then it blocks for type 10."
    start receiver-b sysv-typed-receiver-b
    wait_asleep receiver-b do_msgrcv
    run sender sysv-typed-sender
    finish receiver-b
    note "The type-20 message of that last run came after receiver-b had asked: it is still in the queue."
    expect_output receiver-b "$blank"$'\n'"$a"
    run ipcs /usr/bin/ipcs -q
    # Queue 8979 (0x2313) holds that one message of 100 bytes.
    expect_that "queue 0x00002313 holds one message of 100 bytes" test \
        "$(lines_of ipcs | awk '$1 == "0x00002313" { print $5, $6 }')" = "100 1"
}
