// libcall-app: calls test1 of the library ./libqor.so between two lines. The library is named
// by that relative path, so the loader opens it in the current directory: run it from the
// directory holding libqor.so (cd build/native/lib && ../bin/libcall-app). Elsewhere the
// loader refuses to start it. Bound lazily: a libqor.so without test1 lets "lib test" out,
// then the loader ends the process at the call (on a pipe, buffered output is lost with it).
#include <cstdio>

extern "C" int test1();

int main() {
    puts("lib test");
    test1();
    puts("end");
    return 0;
}
