# The datagram fortune service: one server, one client per name.
scenario fortune "oracle-server tells bob, alice, ann and josé their fortunes over UDP port 9000"
traces fortune sendto,recvfrom

# The server's fortunes, by fortune_no.
_fortune_texts=("you will get good score in exam" "you will get job" "blah.. blah..")

# _fortune_sum NAME: the sum of NAME's bytes, each taken as a signed 8-bit value.
_fortune_sum() {
    local sum=0 byte
    for byte in $(printf %s "$1" | od -An -v -td1); do
        sum=$((sum + byte))
    done
    echo "$sum"
}

scenario_fortune() {
    start server oracle-server
    wait_for server " client connected "
    note "The server is bound to UDP port 9000 and waits for a client's first datagram."
    local name sum fortune bytes served=''
    local read=' no of bytes from n/w(Client/Server) '
    # The sums the note below states, each checked against the name's bytes.
    local -A stated=([bob]=307 [alice]=510 [ann]=317 ['josé']=184)
    for name in bob alice ann 'josé'; do
        note "oracle-client says hello with an empty datagram, gets the greeting, sends \"$name\" as a length datagram and a body datagram."
        run client oracle-client <<<"$name"
        wait_for server " client connected " 5
        sum=$(_fortune_sum "$name")
        expect_that "$name's bytes add up to $sum, not ${stated[$name]}" \
            test "$sum" -eq "${stated[$name]}"
        # Each message as its 2-byte length and its body: the greeting, then the fortune.
        fortune=${_fortune_texts[(sum % 3 + 3) % 3]}
        expect_output client " read 2$read
 read 31$read
Welcome to ZQ. what's your name
 read 2$read
 read ${#fortune}$read
$fortune"
        expect_status client 0
        bytes=$(printf %s "$name" | wc -c)
        served+=" client connected 
 read 2$read
 read $bytes$read
$name
 fortune_no = $((sum % 3))
"
    done
    note "Each name's bytes add up as signed 8-bit values: bob ${stated[bob]}, alice ${stated[alice]}, ann ${stated[ann]}; josé in UTF-8 has two bytes over 0x7f that count negative (sum ${stated['josé']})."
    note "fortune_no is the sum modulo 3 and picks the fortune the client printed."
    stop server
    # Each exchange in turn: the name and its fortune_no, then the wait for the next client.
    expect_output server "$served client connected "
}
