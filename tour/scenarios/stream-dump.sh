# The byte-dump forking server: one client whose 10 bytes come in two pieces.
scenario stream-dump "stream-dump-server forks a child that gathers 10 bytes sent in two pieces"
traces stream-dump accept,connect,read,write,sendto,recvfrom

scenario_stream_dump() {
    local children
    start server stream-dump-server
    note "The server listens on TCP port 8000 and prints nothing until a client connects."
    start client stream-piece-client
    wait_for server " client connected "
    note "The parent accepted the connection and forked a child; the child waits for 10 bytes."
    send client 'abcd\n'
    wait_for server " read 4 from cli "
    note "4 bytes came: one read. readNBytes asks for the 6 still wanted."
    send client 'efghij\n'
    wait_for client "the server closed the connection"
    finish client
    wait_for server "j "
    note "Two reads (4, 6) made the 10 bytes, printed one per line; the child's end closed the connection."
    children=$(ps -o pid= --ppid "$(pid_of server)" | wc -l || true) # ps fails when there are none
    note "Children of the server now: $children (a finished child is collected at once, no zombie)."
    expect_that "the server has no child left, $children found" test "$children" -eq 0
    stop server
    expect_output server "$(printf ' client connected \n read 4 from cli \n read 6 from cli \n')
$(printf '%s \n' a b c d e f g h i j)"
    expect_output client $'connected to 127.0.0.1 port 8000\nsent 4 bytes: abcd\nsent 6 bytes: efghij\nthe server closed the connection'
}
