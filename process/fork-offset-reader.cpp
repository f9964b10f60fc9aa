// fork-offset-reader: a descriptor opened before fork shares one file offset between parent
// and child. The child reads the first two bytes of ./test, the parent waits for it and reads
// the next two. Try:  printf abcd > test && fork-offset-reader  (child a, b; parent c, d).
// A read that gets fewer bytes (file missing or short) leaves '?' in the unread places.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr const char *kPath = "./test";
constexpr int kBytes = 2;
constexpr char kUnread = '?';  // shown for a byte that no read delivered

}  // namespace

int main() {
    const int fd = open(kPath, O_RDONLY);
    char buf[kBytes] = {kUnread, kUnread};
    const pid_t pid = fork();
    if (pid == 0) {
        read(fd, buf, kBytes);  // not examined: a short read leaves '?'
        printf(" in child %c\n", buf[0]);
        printf(" in child %c\n", buf[1]);
        close(fd);
        return 0;
    }
    int status;
    wait(&status);
    read(fd, buf, kBytes);  // not examined: a short read leaves '?'
    printf(" in parent %c\n", buf[0]);
    printf(" in parent %c\n", buf[1]);
    close(fd);
    return 0;
}
