# The reply forking server: two clients connected at once.
scenario stream-reply "stream-reply-server serves two clients at once in two children, each answering \"Good Bye\""
traces stream-reply accept,connect,read,write,sendto,recvfrom

scenario_stream_reply() {
    start server stream-reply-server
    start one stream-piece-client
    wait_for one "connected to"
    start two stream-piece-client
    wait_for two "connected to"
    local kids
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
}
