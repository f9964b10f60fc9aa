// sysv-typed-receiver-a: takes the oldest type-10 message and then the oldest type-20 message
// off the System V queue with key 8979 (made with mode 000 if missing), waiting for each, and
// prints the 100 text bytes of each on a line: the "a" line, then the "b" line.
// Start it before or after sysv-typed-sender. A failed receive still prints its line: 100
// blanks, as does the rest of a message shorter than 100 bytes (the record starts blank).
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
    msgrcv(msqid, &msgA, kTextBytes, kTypeA, 0);
    printText(msgA);
    msgrcv(msqid, &msgB, kTextBytes, kTypeB, 0);
    printText(msgB);
    return 0;
}
