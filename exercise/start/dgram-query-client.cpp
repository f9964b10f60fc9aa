// dgram-query-client: sends each word of its standard input as one UDP datagram to the reply
// service at 127.0.0.1 port 8000 and prints the one datagram that comes back.
//
// What it must do:
//  1. Make a UDP socket; on failure perror("error:") and exit(1). The service's address is
//     127.0.0.1 port 8000 (bzero'd sockaddr_in, htons, inet_pton). Bound every receive to 3 s
//     (SO_RCVTIMEO), and connect() the socket to the service (on failure perror("connect"),
//     status 1), so that the kernel drops datagrams from any other address or port.
//  2. For each word read with scanf("%999s") (a buffer of 1000 bytes; a longer word goes out
//     as 999-byte pieces, the rest as the next word), until the input ends:
//     a. drop every datagram still waiting on the socket (recv with MSG_DONTWAIT until it
//        fails; a refusal, ECONNREFUSED, left by an earlier word counts as one): it answers an
//        earlier word (a late reply, or a second copy), not this one;
//     b. send the word's strlen bytes (no terminating zero) to the service;
//     c. receive one datagram of at most 999 bytes (longer ones are cut) and store a zero
//        after it; on failure perror("recvfrom") and go on with the next word (no reply within
//        3 s: "recvfrom: Resource temporarily unavailable"; no service: "recvfrom: Connection
//        refused");
//     d. printf("From server %s\n", reply) (an empty reply prints "From server \n").
//  3. The end of the input ends the program with status 0; no word at all sends nothing.
//
// Run it: dgram-reply-service (this project's peer: it answers in upper case) in one
// terminal, then `echo one two | dgram-query-client`: "From server ONE", "From server TWO".
// Checked by: exercise/exercise check dgram-query-client dgram-query-client.cpp
#include <arpa/inet.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main() {
    return 0;
}
