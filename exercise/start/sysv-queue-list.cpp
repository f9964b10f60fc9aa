// sysv-queue-list: lists every System V message queue of the system, one row per queue: its
// position in the kernel's table, its identifier, its key and how many messages it holds.
//
// What it must do:
//  1. maxind = msgctl(0, MSG_INFO, (msqid_ds *)&info) with a struct msginfo info: the highest
//     position in use in the kernel's table. On -1: perror("msgctl-MSG_INFO") and go on with
//     maxind -1 (no rows).
//  2. printf("maxind: %d\n\n", maxind); puts("index     id       key      messages") (five
//     blanks, seven, six).
//  3. For each position 0 to maxind: msqid = msgctl(position, MSG_STAT, &ds) (a position, not
//     an identifier; it returns the identifier there). On -1 with errno EINVAL (no queue there)
//     or EACCES (one the user may not read): skip it without a word; any other error:
//     perror("msgctl-MSG_STAT") and go on. Otherwise print the row
//       printf("%4d %8d  0x%08llx %7lld\n", position, msqid, key, messages)
//     with the key ds.msg_perm.__key widened to long long as a signed value (so a key with its
//     top bit set prints as 16 digits, ffffffff...) and messages ds.msg_qnum, through
//     long long so that the rows read alike on x86_64 and i686.
//  4. End with status 0, always.
// With no queue: "maxind: -1\n\nindex     id       key      messages\n" (or maxind 0 once a
// queue was made and removed). After sysv-typed-sender: a row whose key is 0x00002313 with 2
// messages. Removed queues leave gaps in the positions; `ipcs -q` shows the same queues.
//
// Run it: ipcmk -Q; sysv-typed-sender; sysv-queue-list; ipcs -q
// Checked by: exercise/exercise check sysv-queue-list sysv-queue-list.cpp
#include <sys/ipc.h>
#include <sys/msg.h>

#include <cerrno>
#include <cstdio>

int main() {
    return 0;
}
