// sysv-typed-sender: puts two typed messages on the System V message queue with key 8979,
// without waiting, and prints what each send returned.
//
// What it must do:
//  1. msgget(8979, IPC_CREAT), permission bits 0: a queue made here has mode 000 (only root
//     may use it); the identifier is used untested (a failure shows as -1 from both sends).
//  2. Two records of struct typedMessage (typed-message.hpp: a long mtype, then 100 bytes of
//     mtext, no terminating zero): type 10 (kTypeA) with 100 letters 'a', type 20 (kTypeB)
//     with 100 letters 'b'.
//  3. msgsnd the type-10 record, size 100 (the text alone), IPC_NOWAIT (a full queue fails at
//     once); printf(" return value of msgsnd of As= %d\n", result).
//  4. The same for the type-20 record: printf(" return value of msgsnd of Bs= %d\n", result).
//  5. End with status 0, always. Nothing on standard error.
// After one run on an empty queue: 2 messages, 200 bytes (`ipcs -q`, /proc/sysvipc/msg).
// Run as an ordinary user on a queue of mode 000, both sends fail: "= -1" on both lines.
//
// Run it: sysv-typed-sender, then `ipcs -q` or sysv-queue-list, then sysv-typed-receiver-a.
// Checked by: exercise/exercise check sysv-typed-sender sysv-typed-sender.cpp
#include <sys/ipc.h>
#include <sys/msg.h>

#include <cstdio>
#include <cstring>

#include "typed-message.hpp"

int main() {
    return 0;
}
