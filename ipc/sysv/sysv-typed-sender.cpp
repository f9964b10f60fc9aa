// sysv-typed-sender: gets (creating it with mode 000 if need be) the System V message queue
// with key 8979 and puts two typed messages on it without waiting: type 10 with 100 "a",
// then type 20 with 100 "b"; it prints what each msgsnd returned (0, or -1 on failure).
// Watch it with `ipcs -q` or sysv-queue-list, and take the messages off with
// sysv-typed-receiver-a or -b. A queue this program creates is usable only by root.
#include <sys/ipc.h>
#include <sys/msg.h>

#include <cstdio>
#include <cstring>

#include "typed-message.hpp"

int main() {
    // Permission bits 0: a queue made here has mode 000. The result is used untested; a
    // failure shows as -1 from both sends.
    const int msqid = msgget(kQueueKey, IPC_CREAT);

    typedMessage msgA;
    typedMessage msgB;
    msgA.mtype = kTypeA;
    memset(msgA.mtext, 'a', kTextBytes);
    msgB.mtype = kTypeB;
    memset(msgB.mtext, 'b', kTextBytes);

    // IPC_NOWAIT: a full queue makes the send fail at once instead of blocking.
    int ret = msgsnd(msqid, &msgA, kTextBytes, IPC_NOWAIT);
    printf(" return value of msgsnd of As= %d\n", ret);
    ret = msgsnd(msqid, &msgB, kTextBytes, IPC_NOWAIT);
    printf(" return value of msgsnd of Bs= %d\n", ret);
    return 0;
}
