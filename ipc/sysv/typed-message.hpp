// The record that the typed sender puts on the System V queue with key 8979 and the typed
// receivers take off it: a message type, then 100 bytes of text without a terminating zero.
// The type is a C long, as msgsnd and msgrcv expect it: 8 bytes on x86_64, 4 on i686.
#pragma once

#include <sys/types.h>

#include <cstddef>

constexpr key_t kQueueKey = 8979;        // 0x2313
constexpr std::size_t kTextBytes = 100;  // the size given to msgsnd and msgrcv
constexpr long kTypeA = 10;              // carries 100 letters "a"
constexpr long kTypeB = 20;              // carries 100 letters "b"

struct typedMessage {
    long mtype;
    char mtext[kTextBytes];
};
