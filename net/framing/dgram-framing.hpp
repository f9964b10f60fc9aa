// Datagram framing helpers: a length-prefixed message is a 2-byte datagram holding the body
// length (signed 16-bit, host byte order), then a datagram with the body. readNBytes gathers
// an exact count of bytes from as many datagrams as it takes; connandlisten makes the bound
// UDP server socket. Each program compiles in its own copy of this unit.
#pragma once

#include <netinet/in.h>

#include <cstdint>

// Sender of the datagram most recently taken by readNBytes, and its address length.
extern sockaddr_in cliaddr;
extern int clilen;
// Result of readNBytes' most recent receive: the bytes taken, 0 for an empty datagram, -1 for a
// failed receive (such as a receive timeout set on the socket running out). Callers tell by it
// why readNBytes gave them null.
extern int lastrecv;

// A new malloc'd block of exactly n received bytes (no terminating zero), or null. Prints one
// progress line per receive.
char *readNBytes(int sockfd, int n);

// A UDP socket bound to port on every local IPv4 address, or a negative value on failure.
int connandlisten(std::uint16_t port);
