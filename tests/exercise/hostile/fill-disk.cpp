// Fills the disk: writes a file in every writable place it finds until the writes fail.
#include <cstdio>
#include <vector>

int main() {
    static char block[1 << 20];
    for (const char *dir : {"/tmp", "/var/tmp", "/dev/shm", "."}) {
        char path[256];
        std::snprintf(path, sizeof path, "%s/mech-hostile-fill", dir);
        std::FILE *f = std::fopen(path, "w");
        if (!f)
            continue;
        while (std::fwrite(block, 1, sizeof block, f) == sizeof block && std::fflush(f) == 0) {
        }
        std::perror(path);
        std::fclose(f);
    }
    return 0;
}
