# The reply forking server: two clients connected at once.
scenario stream-reply "stream-reply-server serves two clients at once in two children, each answering \"Good Bye\""
traces stream-reply accept,connect,read,write,sendto,recvfrom

scenario_stream_reply() {
    start server stream-reply-server
    start one stream-piece-client
    wait_for one "connected to"
    start two stream-piece-client
    wait_for two "connected to"
    local kids served=()
    kids=$(ps -o pid= --ppid "$(pid_of server)" | xargs)
    note "Both clients are connected and neither has sent anything: the server has two children ($kids), one per connection."
    send two 'hello from two\n'
    wait_for two "the server closed the connection"
    wait_for server "hello from two"
    note "The second client was served first: its child read once, printed the text and its own pid, answered \"Good Bye\" and ended."
    send one 'hi from one\n'
    wait_for one "the server closed the connection"
    finish one
    finish two
    wait_for server "hi from one"
    note "Each text was printed by a different child, with a different process id."
    stop server
    mapfile -t served < <(lines_of server | sed -n 's/^ requested handled by server //p')
    expect_output server " client connected 
 client connected 
 data rec'd from client = hello from two
 requested handled by server ${served[0]:-}
 data rec'd from client = hi from one
 requested handled by server ${served[1]:-}"
    expect_that "the texts were printed by the two children ($kids), one each" \
        test "$(printf '%s\n' "${served[@]}" | sort -n | xargs)" = "$(xargs -n 1 <<<"$kids" | sort -n | xargs)"
    expect_output one $'connected to 127.0.0.1 port 8000\nsent 11 bytes: hi from one\nreceived 8 bytes: Good Bye\nthe server closed the connection'
    expect_output two $'connected to 127.0.0.1 port 8000\nsent 14 bytes: hello from two\nreceived 8 bytes: Good Bye\nthe server closed the connection'
}
