// sysv-typed-receiver-a: takes the two typed messages of sysv-typed-sender off the System V
// message queue with key 8979, one type at a time, and prints the text of each on a line.
//
// What it must do:
//  1. msgget(8979, IPC_CREAT), permission bits 0 (mode 000 when it makes the queue); the
//     identifier is used untested.
//  2. Two records of struct typedMessage (typed-message.hpp: long mtype, 100 bytes of mtext),
//     each text set to 100 blanks first: what a receive does not fill prints as blanks.
//  3. msgrcv type 10 (kTypeA), size 100, flags 0 (waits until one comes) into the first
//     record; print its 100 text bytes with putchar, then '\n'.
//  4. msgrcv type 20 (kTypeB), size 100, flags 0 (waits) into the second record; print it the
//     same way. So the "a" line comes first, then the "b" line.
//  5. End with status 0. Nothing on standard error.
// Each receive takes the oldest message of its exact type, whatever stands before it. The
// results are not used: a line is printed whether the receive worked or not (a failed one
// prints 100 blanks; a message shorter than 100 bytes is padded with blanks). A message longer
// than 100 bytes is not taken (E2BIG, no MSG_NOERROR): a blank line, and it stays in the queue.
// Started before the sender it waits in its first receive for type 10, then for type 20.
// Run by an ordinary user on a queue of mode 000 both receives fail at once (EACCES): two
// lines of 100 blanks.
//
// Run it: sysv-typed-sender, then sysv-typed-receiver-a.
// Checked by: exercise/exercise check sysv-typed-receiver-a sysv-typed-receiver-a.cpp
#include <sys/ipc.h>
#include <sys/msg.h>

#include <cstdio>
#include <cstring>

#include "typed-message.hpp"

int main() {
    return 0;
}
