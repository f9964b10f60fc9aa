// somefunc-lib: a minimal shared library with one exported function, somefunc, which adds two
// 32-bit integers and wraps on overflow. No soname, only the C library needed; check with
//   readelf -d build/native/lib/somefunc-lib.so    nm -D build/native/lib/somefunc-lib.so
// No program of the system loads it.
#include <cstdint>

// The sum is taken in unsigned arithmetic, which wraps by definition, and converted back,
// which is modular: two's complement without signed overflow.
extern "C" std::int32_t somefunc(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
