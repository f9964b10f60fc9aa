# The mail menu over its outside library libshared.so.1.0 (the stand-in peer).
scenario mail-menu "mail-menu sends and receives through libshared.so.1.0, found on LD_LIBRARY_PATH; a two-word message answers its own question"
traces mail-menu openat,mmap

# Wait until TEXT has appeared COUNT times in LABEL's output (prompts repeat), then give
# tour-pty the moment it takes to show an unfinished prompt line before our typing is shown.
_mail_wait() {
    local label=$1 text=$2 count=$3 waited=0
    until [ "$(grep -oF -- "$text" "$TOUR_DIR/$label.out" 2>/dev/null | wc -l)" -ge "$count" ]; do
        sleep 0.05
        waited=$((waited + 1))
        if [ "$waited" -ge 200 ]; then
            echo "tour: waited 10s in vain for \"$text\" ($count) in $label" >&2
            return 1
        fi
    done
    sleep 0.3
}

scenario_mail_menu() {
    export LD_LIBRARY_PATH=$TOUR_LIB
    note "mail-menu names libshared.so.1.0 without a path; the loader finds it through LD_LIBRARY_PATH=$TOUR_LIB."
    start menu mail-menu
    _mail_wait menu "Choice [1/2/3]  :" 1
    send menu "1\n"
    _mail_wait menu "Mail ID : " 1
    send menu "alice@example.org\n"
    _mail_wait menu "Compose the Message:" 1
    send menu "hello\n"
    _mail_wait menu "Confirm [y/n] : " 1
    send menu "y\n"
    _mail_wait menu "Choice [1/2/3]  :" 2
    note "The library's pop3send printed its line: it shares the program's standard output."
    send menu "2\n"
    _mail_wait menu "receive : " 1
    send menu "5\n"
    _mail_wait menu "Choice [1/2/3]  :" 3
    note "pop3recv saw the count typed: 5."
    send menu "1\n"
    _mail_wait menu "Mail ID : " 2
    send menu "bob@example.org\n"
    _mail_wait menu "Compose the Message:" 2
    send menu "see you\n"
    _mail_wait menu "Choice [1/2/3]  :" 5
    note "The message is one word (\"see\"); the blank after it was dropped, and the y of \"you\" confirmed. \"ou\" was then no menu choice."
    send menu "3\n"
    finish menu
    unset LD_LIBRARY_PATH
    # Both messages were confirmed and sent, the count was received, "ou" was refused.
    expect_count menu 2 "libshared.so.1.0: pop3send()"
    expect_count menu 1 "libshared.so.1.0: pop3recv(5)"
    expect_output menu.err "mail-menu: not a number, line ignored"
    expect_status menu 0
}
