// libqor.so: a stand-in for the outside library of libcall-app (a peer for the tests and the
// tour, not a deliverable). test1 prints one line. Built a second time without test1
// (libqor-without-test1.so), to be copied in as ./libqor.so and show lazy binding fail.
#include <cstdio>

#ifndef LIBQOR_WITHOUT_TEST1
extern "C" int test1() {
    puts("libqor.so: test1() called");
    return 0;
}
#else
extern "C" int test2() {
    puts("libqor.so: test2() called");
    return 0;
}
#endif
