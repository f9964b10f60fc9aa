// fork-late-open-reader: a file opened after fork belongs to the parent alone. The child reads
// through a descriptor variable that holds no open descriptor, so its read fails (EBADF,
// reported with perror); the parent opens ./test itself and reads its first two bytes.
// Try:  printf abcd > test && fork-late-open-reader  (the child's error, '?' twice; parent a, b).
// A read that gets fewer bytes (file missing or short) leaves '?' in the unread places.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr const char *kPath = "./test";
constexpr int kBytes = 2;
constexpr char kUnread = '?';  // shown for a byte that no read delivered
constexpr int kNoDescriptor = -1;

}  // namespace

int main() {
    int fd = kNoDescriptor;  // opened later, in the parent only
    char buf[kBytes] = {kUnread, kUnread};
    const pid_t pid = fork();
    if (pid == 0) {
        read(fd, buf, kBytes);  // not examined: a short read leaves '?'
        perror("child:");
        printf(" in child %c\n", buf[0]);
        printf(" in child %c\n", buf[1]);
        close(fd);
        return 0;
    }
    fd = open(kPath, O_RDONLY);
    int status;
    wait(&status);
    read(fd, buf, kBytes);  // not examined: a short read leaves '?'
    printf(" in parent %c\n", buf[0]);
    printf(" in parent %c\n", buf[1]);
    close(fd);
    return 0;
}
