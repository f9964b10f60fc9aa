// sysv-typed-receiver-b: takes the oldest type-20 message without waiting, then the oldest
// type-10 message, waiting for it, off the System V queue with key 8979 (made with mode 000
// if missing), and prints the 100 text bytes of each on a line: the "b" line, then the "a"
// line. Started before sysv-typed-sender it prints its first line at once (100 blanks: the
// receive found nothing), then waits; a failed receive always prints 100 blanks.
#include <sys/ipc.h>
#include <sys/msg.h>

#include <cstdio>
#include <cstring>

#include "typed-message.hpp"

namespace {

// The record's text, byte by byte, as the last receive left it.
void printText(const typedMessage &msg) {
    for (std::size_t i = 0; i < kTextBytes; i++)
        putchar(msg.mtext[i]);
    putchar('\n');
}

}  // namespace

int main() {
    const int msqid = msgget(kQueueKey, IPC_CREAT);  // mode 000 when created; untested

    // Blank text: what a receive does not fill prints as blanks, never as stale memory.
    typedMessage msgA;
    typedMessage msgB;
    msgA.mtype = 0;
    memset(msgA.mtext, ' ', kTextBytes);
    msgB = msgA;

    // The results are not used: each line is printed whether the receive worked or not.
    msgrcv(msqid, &msgB, kTextBytes, kTypeB, IPC_NOWAIT);  // ENOMSG at once if none yet
    printText(msgB);
    msgrcv(msqid, &msgA, kTextBytes, kTypeA, 0);
    printText(msgA);
    return 0;
}
