// libshared.so.1.0: a stand-in for the outside mail library of mail-menu (a peer for the tests
// and the tour, not a deliverable). Each function prints what it was asked on standard output,
// which it shares with the program, so that a user sees the call between the menu's lines.
#include <cstdio>

extern "C" {

int pop3send() {
    puts("libshared.so.1.0: pop3send()");
    return 0;
}

int pop3recv(int count) {
    printf("libshared.so.1.0: pop3recv(%d)\n", count);
    return 0;
}

}  // extern "C"
