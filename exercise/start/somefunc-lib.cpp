// somefunc-lib: a minimal shared library with one exported function.
//
// What it must define: extern "C" std::int32_t somefunc(std::int32_t a, std::int32_t b), the
// sum of a and b in 32-bit two's-complement arithmetic: it wraps on overflow (2 and 3 give 5;
// INT32_MAX and 1 give INT32_MIN) without signed overflow in C++ (add as unsigned, convert
// back). It is the library's one exported function. The build gives it no soname and records
// the C library as its one needed library; use nothing of the C++ library.
//
// Look at it: readelf -d build/native/lib/somefunc-lib.so; nm -D build/native/lib/somefunc-lib.so
// Checked by: exercise/exercise check somefunc-lib somefunc-lib.cpp
#include <cstdint>

extern "C" std::int32_t somefunc(std::int32_t, std::int32_t) {
    return 0;
}
