// libcall-app started from a directory that holds ./libqor.so, one that does not, and one
// whose libqor.so lacks test1; and how libcall-app names and binds its library.
#include <filesystem>

#include "check.hpp"
#include "elf.hpp"

namespace {

// A directory holding `library` (from lib/) as libqor.so, or nothing when it is empty.
struct WorkDir {
    harness::TempDir dir;
    explicit WorkDir(const std::string &library) {
        if (!library.empty())
            std::filesystem::copy_file(harness::libPath(library), dir / "libqor.so");
    }
};

harness::Result runFrom(const WorkDir &work, bool terminal = false) {
    return harness::run(harness::binPath("libcall-app"), "",
                        {.cwd = work.dir.path(), .pty = terminal});
}

TEST(LibcallApp, CallsTest1BetweenItsLines) {
    const WorkDir work("libqor.so");
    const auto result = runFrom(work);
    EXPECT_BYTES("lib test\nlibqor.so: test1() called\nend\n", result.out);
    EXPECT_BYTES("", result.err);
    EXPECT_EQ("exit status 0", result.status.describe());
}

TEST(LibcallApp, WithoutLibqorTheLoaderRefusesToStartIt) {
    const WorkDir work("");
    const auto result = runFrom(work);
    EXPECT_BYTES("", result.out);
    EXPECT_NE(std::string::npos, result.err.find("./libqor.so: cannot open shared object file"))
        << result.err;
    EXPECT_EQ("exit status 127", result.status.describe());
}

// Bound lazily: the program starts and prints its first line; the loader ends it when test1
// is first called. On a terminal the line is out by then; on a pipe it is still in the
// program's buffer and ends with it.
TEST(LibcallApp, WithoutTest1TheLoaderEndsItAtTheCall) {
    const WorkDir work("libqor-without-test1.so");
    const auto onTerminal = runFrom(work, true);
    EXPECT_BYTES("lib test\n", onTerminal.out);
    EXPECT_NE(std::string::npos, onTerminal.err.find("undefined symbol: test1")) << onTerminal.err;
    EXPECT_EQ("exit status 127", onTerminal.status.describe());

    const auto onPipe = runFrom(work);
    EXPECT_BYTES("", onPipe.out);
    EXPECT_EQ("exit status 127", onPipe.status.describe());
}

TEST(LibcallApp, NamesItsLibraryByRelativePathAndBindsLazily) {
    const std::string path = harness::binPath("libcall-app");
    std::vector<std::string> needed;
    for (const auto &name : harness::elfDynamic(path, "NEEDED"))
        if (!name.starts_with("libasan") && !name.starts_with("libubsan"))
            needed.push_back(name);
    EXPECT_EQ((std::vector<std::string>{"./libqor.so", "libc.so.6"}), needed);
    for (const auto &flags : harness::elfDynamic(path, "FLAGS"))
        EXPECT_EQ(std::string::npos, flags.find("BIND_NOW")) << flags;
    for (const auto &flags : harness::elfDynamic(path, "FLAGS_1"))
        EXPECT_EQ(std::string::npos, flags.find("NOW")) << flags;
    EXPECT_TRUE(harness::elfDynamic(path, "BIND_NOW").empty());
}

}  // namespace
