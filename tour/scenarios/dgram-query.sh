# The datagram query client and the reply service peer.
scenario dgram-query "dgram-query-client sends each word as one UDP datagram to port 8000 and prints the reply"
traces dgram-query sendto,recvfrom

scenario_dgram_query() {
    start service dgram-reply-service
    local waited=0
    until grep -q ':1F40 ' /proc/net/udp; do  # the service has bound UDP port 8000
        sleep 0.05
        waited=$((waited + 1))
        [ "$waited" -lt 200 ] || { echo "tour: the reply service did not bind its port" >&2; return 1; }
    done
    note "The reply service (a peer, not a deliverable) answers every datagram with its bytes in upper case."
    run client dgram-query-client <<<"one two three"
    wait_for service "three -> THREE"
    note "One datagram per word, without a terminator, each from the client's one port; one reply line per datagram. End of input ends the client."
    expect_output client $'From server ONE\nFrom server TWO\nFrom server THREE'
    expect_status client 0
    stop service
    # Every datagram from the port of the first.
    local port
    port=$(number_after service "bytes from port ")
    expect_output service "3 bytes from port $port: one -> ONE
3 bytes from port $port: two -> TWO
5 bytes from port $port: three -> THREE"
}
