// oracle-server: tells fortunes over UDP port 9000, one exchange after another, for ever.
//
// What it must do. Bind UDP port 9000 on every local IPv4 address with connandlisten(9000)
// (from the datagram framing unit, dgram-framing.hpp; it reports its own failures, e.g.
// "bind:: Address already in use"); without a socket end with status 1. Then for ever: print
// " client connected " with puts, and run one exchange, handleClient(sockfd):
//  1. First contact: a UDP server cannot greet a socket that has sent nothing, so oracle-client
//     says hello with one empty datagram. Take one datagram of any content with recvfrom into
//     cliaddr/clilen (the unit's sender record), printing nothing.
//  2. Send the greeting "Welcome to ZQ. what's your name" as a length-prefixed message to
//     cliaddr: first a 2-byte datagram holding the length (int16_t, host byte order, set from
//     strlen), then a datagram with the bytes (no terminating zero).
//  3. Receive the name the same way: readNBytes(sockfd, 2) gives the length L (int16_t), then
//     readNBytes(sockfd, L) the name. readNBytes prints one progress line per datagram,
//     " read %d no of bytes from n/w(Client/Server) \n", and returns a malloc'd block or null.
//  4. Print the name byte by byte with putchar, then '\n'; add each byte as a signed 8-bit
//     value (0x80..0xff count as value - 256) to an int sum.
//  5. fortune_no = sum % 3 (C's %, so -1 or -2 for a negative sum); printf(" fortune_no = %d\n").
//  6. Send fortune[fortune_no] as a length-prefixed message to cliaddr (the sender of the
//     name's last datagram); a negative fortune_no answers with entry (fortune_no + 3) % 3:
//     fortune[0] "you will get good score in exam", [1] "you will get job", [2] "blah.. blah..".
//  7. free both blocks.
// A length of 0: readNBytes(sockfd, 0) takes one more datagram, prints the line with 0 and
// "sockread:" and gives null; a negative length gives null at once. Either way the name is
// empty: an empty line, sum 0, fortune_no 0, fortune[0].
//
// What must not hold it up (the checks send these):
//  - An empty datagram where the length or a non-empty name is due (readNBytes gives null with
//    lastrecv == 0) is a new client's hello: end this exchange (no fortune) and begin the next
//    with " client connected " and the greeting to that sender at once, without step 1.
//  - After the length, wait at most 2 s for each datagram of the name (SO_RCVTIMEO); when none
//    comes, readNBytes prints the line with -1 and "sockread:: Resource temporarily
//    unavailable"; print "oracle-server: no name within 2 s, exchange abandoned\n" on standard
//    error and begin the next exchange.
// Standard output is line-buffered (setvbuf), so every line reaches a pipe at once: the server
// is ended by a signal. Standard error holds only the reports above.
//
// Run it: oracle-server in one terminal, then `echo bob | oracle-client` in another. bob sums
// to 307 (fortune_no 1), alice 510 (0), ann 317 (2), josé in UTF-8 184 (1).
// Checked by: exercise/exercise check oracle-server oracle-server.cpp
#include <sys/socket.h>
#include <sys/time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dgram-framing.hpp"

int main() {
    return 0;
}
