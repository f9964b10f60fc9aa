// libcall-app: calls test1 of the outside library ./libqor.so between two lines.
//
// What it must do: puts("lib test"); test1(); puts("end"); return 0.
// extern "C" int test1(); its result is ignored. The build links the program with
// -l:./libqor.so and -z lazy: the library is recorded by its relative path "./libqor.so", so
// the loader opens it in the current directory, and test1 is bound at its first call. So:
//  - from the folder holding libqor.so: "lib test", whatever test1 prints, "end", status 0;
//  - elsewhere the loader refuses to start it (status 127, none of its lines);
//  - beside a libqor.so without test1: "lib test" comes out, then the loader ends the process
//    at the call ("symbol lookup error: ...: undefined symbol: test1").
// Only the C library and ./libqor.so are needed (use nothing else: no C++ library).
//
// Run it: (cd build/native/lib && ../bin/libcall-app)
// Checked by: exercise/exercise check libcall-app libcall-app.cpp
#include <cstdio>

extern "C" int test1();

int main() {
    return 0;
}
