// Stream framing helpers: the TCP twin of the datagram unit, with the same function names.
// readNBytes gathers an exact count of bytes from a connection, however the peer's pieces
// arrive; connandlisten makes the listening server socket (backlog 5). The unit keeps no
// state of its own; a forking server uses it in each process on that process's descriptors.
#pragma once

#include <cstdint>

// A new malloc'd block of exactly the next n bytes of the connection (no terminating zero),
// or null. Prints one progress line per read; bytes after the n-th stay in the connection.
// With a limit of `seconds` (> 0) the whole call takes at most that long: each read waits no
// longer than what is left of it, nor than the socket's own receive timeout allows each read,
// and once it has passed a read with nothing waiting fails at once (EAGAIN), as a timed-out
// read does. The socket's receive timeout is as before when the call returns.
char *readNBytes(int sockfd, int n, int seconds = 0);

// A TCP socket bound to port on every local IPv4 address and listening, or a negative value
// on failure (reported with perror).
int connandlisten(std::uint16_t port);
