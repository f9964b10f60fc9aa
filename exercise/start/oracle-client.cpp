// oracle-client: one conversation with oracle-server over UDP 127.0.0.1 port 9000.
//
// What it must do, in order:
//  1. Make a UDP socket (on failure: perror("sock:"), status 1). Its server is 127.0.0.1 port
//     9000 (bzero'd sockaddr_in, htons, inet_pton). connect() the socket to it, so that the
//     kernel drops datagrams from any other sender (on failure: perror("connect"), status 1),
//     and bound every receive to 3 s (SO_RCVTIMEO).
//  2. Say hello: send one empty datagram to the server (a UDP server cannot greet a socket
//     that has sent nothing).
//  3. Receive the greeting as a length-prefixed message: readNBytes(sockfd, 2) (from the
//     datagram framing unit, dgram-framing.hpp) gives the length L, an int16_t in host byte
//     order; readNBytes(sockfd, L) gives the text. readNBytes prints
//     " read %d no of bytes from n/w(Client/Server) \n" for each datagram it takes. Print the
//     L bytes with putchar, then '\n'.
//  4. Read one word with scanf, at most 199 bytes ("%199s"; the buffer holds 200). No word
//     before the end of the input: print "oracle-client: no name on standard input\n" on
//     standard error, send nothing, status 1.
//  5. Send it as a length-prefixed message: a 2-byte datagram with its length (int16_t from
//     strlen, as it lies in memory), then a datagram with its bytes (no terminating zero).
//  6. Receive and print the fortune as in step 3.
//  7. close() the socket; its result is the exit status (0).
// A receive that fails gives null from readNBytes (it has printed its line with -1 and its
// "sockread:" report): end with status 1. When it failed because nothing came within 3 s
// (lastrecv < 0 and errno EAGAIN), first print "oracle-client: no answer from the server
// within 3 s\n" on standard error. With no server at all the kernel refuses at once:
// "sockread:: Connection refused", status 1, no wait.
//
// Output for bob, against oracle-server:
//   " read 2 no of bytes from n/w(Client/Server) \n"
//   " read 31 no of bytes from n/w(Client/Server) \n"
//   "Welcome to ZQ. what's your name\n"
//   " read 2 no of bytes from n/w(Client/Server) \n"
//   " read 16 no of bytes from n/w(Client/Server) \n"
//   "you will get job\n"
//
// Run it: oracle-server in one terminal, then `echo bob | oracle-client` in another.
// Checked by: exercise/exercise check oracle-client oracle-client.cpp
#include <arpa/inet.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "dgram-framing.hpp"

int main() {
    return 0;
}
