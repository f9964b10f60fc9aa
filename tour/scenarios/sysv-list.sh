# Every System V message queue of the system, listed by position in the kernel's table.
scenario sysv-list "sysv-queue-list walks the kernel's queue table with MSG_INFO and MSG_STAT, beside ipcs -q"
traces sysv-list msgget,msgctl,msgsnd

# _sysv_rows OUT: the lister's rows as "id key messages", one a line.
_sysv_rows() { lines_of "$1" | awk '$1 ~ /^[0-9]+$/ { print $2, $3, $4 }'; }

scenario_sysv_list() {
    local rows
    note "A fresh IPC namespace has no queues: maxind 0 and no rows."
    run list sysv-queue-list
    expect_output list $'maxind: 0\n\nindex     id       key      messages'
    run sender sysv-typed-sender
    local id
    run ipcmk /usr/bin/ipcmk -Q
    run ipcmk /usr/bin/ipcmk -Q
    run ipcmk /usr/bin/ipcmk -Q
    id=$(ipcs -q | awk '$1 ~ /^0x/ { n++ } n == 2 { print $2; exit }')
    run ipcrm /usr/bin/ipcrm -q "$id"
    note "Four queues were made (key 8979 by the sender, three with random keys by ipcmk) and the second removed."
    run list sysv-queue-list
    run ipcs /usr/bin/ipcs -q
    note "Same identifiers, keys and counts as ipcs; position 1 is empty now, so the rows have a gap."
    note "The lister widens the signed key: a random key with its top bit set reads ffffffff... there, 8 digits in ipcs."
    rows=$(_sysv_rows list)
    # ipcs's rows, the key widened as a signed 32-bit number is.
    expect_that "the lister's rows are ipcs's: $(xargs <<<"$rows")" test "$rows" = "$(lines_of ipcs | awk '
        $1 ~ /^0x/ { key = $1; if (substr(key, 3, 1) ~ /[89a-f]/) key = "0xffffffff" substr(key, 3)
                     print $2, key, $6 }')"
    expect_that "rows at positions 0, 2 and 3 of the table" \
        test "$(lines_of list | awk '$1 ~ /^[0-9]+$/ { print $1 }' | xargs)" = "0 2 3"
    expect list "maxind: 3"

    other_users || return 0
    # nobody must be able to reach the program: a copy in a directory anyone may enter.
    chmod 711 "$TOUR_DIR"
    mkdir -m 755 "$TOUR_DIR/bin"
    install -m 755 "$TOUR_BIN/sysv-queue-list" "$TOUR_DIR/bin/"
    run list-as-nobody /usr/bin/setpriv --reuid=nobody --regid=nogroup --clear-groups \
        "$TOUR_DIR/bin/sysv-queue-list"
    note "As nobody the sender's queue (mode 000) is left out without a word; ipcmk's (mode 644) are readable."
    expect_that "nobody's rows are root's without the sender's queue" \
        test "$(_sysv_rows list-as-nobody)" = "$(grep -v ' 0x00002313 ' <<<"$rows")"
    expect_output list-as-nobody.err ''
}
