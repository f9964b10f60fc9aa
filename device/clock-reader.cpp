// clock-reader: opens the character device /dev/clock, reads six single bytes from it and
// prints each in hexadecimal. Load a clock driver that provides /dev/clock (or put any file or
// FIFO there), then run it. A read that delivers nothing leaves the previous value (4 before
// the first byte) and is not reported; without /dev/clock it reports "clock:" and ends with 1.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr const char *kDevice = "/dev/clock";
constexpr int kReads = 6;
constexpr unsigned char kInitialValue = 4;

}  // namespace

int main() {
    const int fd = open(kDevice, O_RDONLY);
    if (fd < 0) {
        perror("clock:");
        return 1;
    }
    unsigned char buf = kInitialValue;
    for (int i = 0; i < kReads; i++) {
        read(fd, &buf, 1);  // not examined: a read that delivers nothing keeps the old byte
        printf(" .... %x....\n", static_cast<unsigned>(buf));
    }
    return 0;  // the descriptor is released when the process ends
}
