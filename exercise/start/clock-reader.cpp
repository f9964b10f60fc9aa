// clock-reader: opens the character device /dev/clock, reads six single bytes from it and
// prints each in hexadecimal.
//
// What it must do:
//  1. open("/dev/clock", O_RDONLY); a negative result: perror("clock:") (so "clock:: No such
//     file or directory" on standard error) and return 1.
//  2. An unsigned char buffer set to 4.
//  3. Six times: read(fd, &buf, 1) (not examined) and printf(" .... %x....\n", buf) with the
//     byte as an unsigned value: lower-case hex without leading zeros (0x2a gives 2a, 0x07
//     gives 7).
//  4. return 0 (the descriptor is released when the process ends).
// A read that fails or delivers nothing leaves the buffer as it was: the line shows the
// previous byte, or 4 before the first one; a device whose reads deliver nothing gives six
// lines of 4. Always six lines; one byte per read, even from a stream that has more.
// The clock-device peer (a kernel module, in the VM) gives the time as seconds, minutes,
// hours, day, month, year: one byte each.
//
// Run it: put anything readable at /dev/clock (a FIFO, a file), or see tour/tour clock-device.
// Checked by: exercise/exercise check clock-reader clock-reader.cpp
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

int main() {
    return 0;
}
