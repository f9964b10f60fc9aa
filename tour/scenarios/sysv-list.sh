# Every System V message queue of the system, listed by position in the kernel's table.
scenario sysv-list "sysv-queue-list walks the kernel's queue table with MSG_INFO and MSG_STAT, beside ipcs -q"
traces sysv-list msgget,msgctl,msgsnd

scenario_sysv_list() {
    note "A fresh IPC namespace has no queues: maxind 0 and no rows."
    run list sysv-queue-list
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

    # nobody must be able to reach the program: a copy in a directory anyone may enter.
    chmod 711 "$TOUR_DIR"
    mkdir -m 755 "$TOUR_DIR/bin"
    install -m 755 "$TOUR_BIN/sysv-queue-list" "$TOUR_DIR/bin/"
    run list-as-nobody /usr/bin/setpriv --reuid=nobody --regid=nogroup --clear-groups \
        "$TOUR_DIR/bin/sysv-queue-list"
    note "As nobody the sender's queue (mode 000) is left out without a word; ipcmk's (mode 644) are readable."
}
