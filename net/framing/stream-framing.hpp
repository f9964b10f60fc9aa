// Stream framing helpers: the TCP twin of the datagram unit, with the same function names.
// readNBytes gathers an exact count of bytes from a connection, however the peer's pieces
// arrive; connandlisten makes the listening server socket (backlog 5). The unit keeps no
// state of its own; a forking server uses it in each process on that process's descriptors.
#pragma once

#include <cstdint>

// A new malloc'd block of exactly the next n bytes of the connection (no terminating zero),
// or null. Prints one progress line per read; bytes after the n-th stay in the connection.
char *readNBytes(int sockfd, int n);

// A TCP socket bound to port on every local IPv4 address and listening, or a negative value
// on failure (reported with perror).
int connandlisten(std::uint16_t port);
