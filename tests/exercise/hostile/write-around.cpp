// Writes wherever it can: the repository and the build tree (found from its own path), the
// grader's home, /tmp and the other shared folders, and tries to make the read-only mounts
// writable first. Each place it managed to write is named on standard output.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

static void tryWrite(const std::string &dir) {
    const std::string path = dir + "/mech-hostile-write";
    std::FILE *f = std::fopen(path.c_str(), "w");
    if (f) {
        std::printf("wrote %s\n", path.c_str());
        std::fclose(f);
    }
}

int main() {
    char exe[PATH_MAX] = {};
    (void)!readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string tree(exe);                        // <tree>/bin/libcall-app
    tree = tree.substr(0, tree.rfind('/'));       // <tree>/bin
    tree = tree.substr(0, tree.rfind('/'));       // <tree>
    const std::string repo = tree + "/../../..";  // <repo>/build/exercise/native
    (void)!std::system(("mount -o remount,rw " + repo + " 2>/dev/null; mount -o remount,rw " +
                        tree + " 2>/dev/null; umount -l " + tree + " 2>/dev/null")
                           .c_str());
    for (const std::string &dir :
         {tree, tree + "/tests", repo, std::string("@HOME@"), std::string("/root"),
          std::string("/tmp"), std::string("/var/tmp"), std::string("/dev/shm")})
        tryWrite(dir);
    return 0;
}
