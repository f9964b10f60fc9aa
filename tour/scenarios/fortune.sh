# The datagram fortune service: one server, one client per name.
scenario fortune "oracle-server tells bob, alice, ann and josé their fortunes over UDP port 9000"
traces fortune sendto,recvfrom

scenario_fortune() {
    start server oracle-server
    wait_for server " client connected "
    note "The server is bound to UDP port 9000 and waits for a client's first datagram."
    local name
    for name in bob alice ann 'josé'; do
        note "oracle-client says hello with an empty datagram, gets the greeting, sends \"$name\" as a length datagram and a body datagram."
        run client oracle-client <<<"$name"
        wait_for server " client connected " 5
    done
    note "Each name's bytes add up as signed 8-bit values: bob 307, alice 510, ann 317; josé in UTF-8 has two bytes over 0x7f that count negative (sum 184)."
    note "fortune_no is the sum modulo 3 and picks the fortune the client printed."
    stop server
}
