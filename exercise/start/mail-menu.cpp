// mail-menu: a text menu that sends and receives mail through the outside library
// libshared.so.1.0 (pop3send, pop3recv). The build links it by that name alone (no path, no
// run path), so the loader looks for it on its usual search path (LD_LIBRARY_PATH...).
//
// What it must do, until choice 3 or the end of the input:
//  - The menu: printf("\n 1.Send"); printf("\n 2.Receive"); printf("\n 3.Exit");
//    printf("\n Enter Your Choice [1/2/3]  :") (two blanks before the colon, no newline);
//    read a number with "%d". 1: the Send dialogue; 2: the Receive dialogue; 3: exit(0) at
//    once; any other number: the menu again.
//  - Send: printf("\n Enter Destination Mail ID : ") and read one word (a buffer of 120 bytes:
//    at most 119 characters); printf("\n Compose the Message: \n") and read one word (1024
//    bytes: at most 1023); printf("\n Sending Message....\n Confirm [y/n] : "); read and drop
//    exactly one character (the one after the message word), then read the answer with "%c".
//    y or Y: pop3send() and nothing more printed; anything else (n, a newline...):
//    printf("\n Message was cancelled\n"). The destination and message go nowhere.
//  - Receive: printf("\n How many Messages you want to receive : "); read a number with "%d";
//    pop3recv(number); printf("\n\n").
// So a message typed as "hello yes please" sends (the answer is the 'y' of "yes") and the
// rest of the line, "es please", is not a number for the menu.
// What its input may do wrong, with the notes on standard error the checks expect:
//  - not a number where one is due (a choice or a count): drop the rest of the line, print
//    "mail-menu: not a number, line ignored\n" and show the menu again (no pop3recv call);
//  - a word longer than its buffer: cut to fit, drop the rest of that word, print
//    "mail-menu: destination mail ID longer than 119 characters, cut\n" (or "mail-menu:
//    message longer than 1023 characters, cut\n"); the dialogue goes on in step;
//  - the end of the input anywhere: "\nmail-menu: end of input\n" and exit(1).
// extern "C" int pop3send(); extern "C" int pop3recv(int count); results ignored. The peer
// libshared.so.1.0 prints each call ("libshared.so.1.0: pop3recv(5)").
//
// Run it: printf '2\n5\n3\n' | LD_LIBRARY_PATH=build/native/lib build/native/bin/mail-menu
// Checked by: exercise/exercise check mail-menu mail-menu.cpp
#include <cctype>
#include <cstdio>
#include <cstdlib>

extern "C" {
int pop3send();
int pop3recv(int count);
}

int main() {
    return 0;
}
