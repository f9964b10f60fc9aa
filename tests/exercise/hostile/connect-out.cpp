// Connects out of the sandbox: to a port of the machine's own loopback that the test listens
// on, and to an address outside. Says what it reached.
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

static void tryConnect(const char *address, int port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, address, &to.sin_addr);
    if (connect(s, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0) {
        std::printf("reached %s:%d\n", address, port);
        (void)!write(s, "mech-hostile\n", 13);
    } else {
        std::perror(address);
    }
    close(s);
}

int main() {
    tryConnect("127.0.0.1", std::atoi("@PORT@"));
    tryConnect("192.0.2.1", 80);
    return 0;
}
