// sysv-queue-list: lists every System V message queue of the system, one row per queue: its
// position in the kernel's table, its identifier, its key and how many messages it holds.
// It asks for the highest position in use (MSG_INFO), then fetches each position (MSG_STAT).
// Compare with `ipcs -q`. Queues the user may not read are left out without a word; on i686
// the key and count are printed through long long, so the rows read as they do on x86_64.
#include <sys/ipc.h>
#include <sys/msg.h>

#include <cerrno>
#include <cstdio>

int main() {
    msginfo info;
    msqid_ds ds;

    // MSG_INFO returns the highest position in use in the kernel's table of queues.
    int maxind = msgctl(0, MSG_INFO, reinterpret_cast<msqid_ds *>(&info));
    if (maxind == -1)
        perror("msgctl-MSG_INFO");  // go on with maxind -1: no rows

    printf("maxind: %d\n\n", maxind);
    puts("index     id       key      messages");

    for (int ind = 0; ind <= maxind; ind++) {
        // MSG_STAT takes a position, not an identifier, and returns the identifier there.
        const int msqid = msgctl(ind, MSG_STAT, &ds);
        if (msqid == -1) {
            // No queue at this position, or one we may not read: skip it silently.
            if (errno != EINVAL && errno != EACCES)
                perror("msgctl-MSG_STAT");
            continue;
        }
        // The key is signed: widened as such, a key with its top bit set shows 16 digits.
        const long long key = ds.msg_perm.__key;
        printf("%4d %8d  0x%08llx %7lld\n", ind, msqid, static_cast<unsigned long long>(key),
               static_cast<long long>(ds.msg_qnum));
    }
    return 0;
}
