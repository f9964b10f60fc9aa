// fork-offset-reader: a descriptor opened before fork shares one file offset between parent
// and child.
//
// What it must do: fd = open("./test", O_RDONLY); a two-byte buffer set to '?', '?'; fork.
//  - Child: read(fd, buf, 2) (not examined: a short read leaves '?' in the unread places);
//    printf(" in child %c\n", buf[0]); printf(" in child %c\n", buf[1]); close; return 0.
//  - Parent: wait for the child; read(fd, buf, 2); printf(" in parent %c\n", ...) for both
//    bytes; close; return 0.
// With ./test holding "abcd": child a, b; parent c, d (the child's read moved the shared
// offset). "abc": the parent's second byte is '?'; no ./test: '?' everywhere, and status 0
// all the same. ./test is only read, never written.
//
// Run it: printf abcd > test && fork-offset-reader
// Checked by: exercise/exercise check fork-offset-reader fork-offset-reader.cpp
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main() {
    return 0;
}
