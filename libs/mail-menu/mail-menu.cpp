// mail-menu: a text menu that sends and receives mail through the outside library
// libshared.so.1.0 (pop3send, pop3recv), which the loader finds on its library search path:
//   LD_LIBRARY_PATH=build/native/lib build/native/bin/mail-menu
// Without the library on that path the loader refuses to start it. The destination and the
// message are read but not passed on (pop3send takes no arguments). A word longer than its
// buffer is cut to fit (the rest of the word is dropped, with a note on standard error).
#include <cctype>
#include <cstdio>
#include <cstdlib>

extern "C" {
int pop3send();
int pop3recv(int count);
}

// How the program ends: exit, or a fuzzing harness's own way back when it drives the menu.
#ifdef MAIL_MENU_NO_MAIN
[[noreturn]] void mailMenuEnd(int status);
#else
[[noreturn]] static void mailMenuEnd(int status) {
    exit(status);
}
#endif

namespace {

constexpr int kDestinationBytes = 120;  // a mail ID of at most 119 characters and its zero
constexpr int kMessageBytes = 1024;     // a one-word message of at most 1023 characters
constexpr int kFormatBytes = 16;

// End of input: nothing more can be chosen or typed, so end rather than ask again.
[[noreturn]] void endOfInput() {
    fputs("\nmail-menu: end of input\n", stderr);
    mailMenuEnd(1);
}

// Read one word into buf (size bytes with its zero), as "%s" does but never past the buffer.
void readWord(char *buf, int size, const char *what) {
    char format[kFormatBytes];
    snprintf(format, sizeof format, "%%%ds", size - 1);
    if (scanf(format, buf) != 1)
        endOfInput();
    const int next = getchar();
    if (next != EOF && isspace(next) == 0) {
        // The rest of the word must not become the next answer.
        scanf("%*[^ \t\n\v\f\r]");
        fprintf(stderr, "mail-menu: %s longer than %d characters, cut\n", what, size - 1);
    } else if (next != EOF) {
        ungetc(next, stdin);
    }
}

// Read a number with "%d"; false (with the rest of the line dropped) when the input is not one.
bool readNumber(int *number) {
    const int got = scanf("%d", number);
    if (got == EOF)
        endOfInput();
    if (got == 1)
        return true;
    scanf("%*[^\n]");
    getchar();
    fputs("mail-menu: not a number, line ignored\n", stderr);
    return false;
}

void sendmail() {
    char destination[kDestinationBytes];
    char message[kMessageBytes];
    char answer;
    printf("\n Enter Destination Mail ID : ");
    readWord(destination, kDestinationBytes, "destination mail ID");
    printf("\n Compose the Message: \n");
    readWord(message, kMessageBytes, "message");
    printf("\n Sending Message....\n Confirm [y/n] : ");
    if (getchar() == EOF || scanf("%c", &answer) != 1)  // drop the character after the word
        endOfInput();
    if (answer == 'y' || answer == 'Y')
        pop3send();
    else
        printf("\n Message was cancelled\n");
}

void recvmail() {
    int count;
    printf("\n How many Messages you want to receive : ");
    if (readNumber(&count))
        pop3recv(count);  // no count, no call: the library is not asked for a made-up number
    printf("\n\n");
}

}  // namespace

// The menu, until choice 3 or the end of the input.
[[noreturn]] void mailMenu() {
    for (;;) {
        int choice;
        printf("\n 1.Send");
        printf("\n 2.Receive");
        printf("\n 3.Exit");
        printf("\n Enter Your Choice [1/2/3]  :");
        if (!readNumber(&choice))
            continue;
        if (choice == 1)
            sendmail();
        else if (choice == 2)
            recvmail();
        else if (choice == 3)
            mailMenuEnd(0);
    }
}

#ifndef MAIL_MENU_NO_MAIN
int main() {
    mailMenu();
}
#endif
