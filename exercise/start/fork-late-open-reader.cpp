// fork-late-open-reader: a file opened after fork belongs to the parent alone.
//
// What it must do: int fd = -1 (no descriptor yet); a two-byte buffer set to '?', '?'; fork.
//  - Child: read(fd, buf, 2) through -1, which fails with EBADF (not examined);
//    perror("child:") ("child:: Bad file descriptor"); printf(" in child %c\n", buf[0]);
//    printf(" in child %c\n", buf[1]) ('?' twice); close(fd); return 0.
//  - Parent: fd = open("./test", O_RDONLY); wait for the child; read(fd, buf, 2);
//    printf(" in parent %c\n", ...) for both bytes; close; return 0.
// With ./test holding "abcd": the child's error and '?' twice; the parent a, b (its own
// offset starts at 0). A short or missing ./test leaves '?' in the unread places; status 0.
//
// Run it: printf abcd > test && fork-late-open-reader
// Checked by: exercise/exercise check fork-late-open-reader fork-late-open-reader.cpp
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main() {
    return 0;
}
