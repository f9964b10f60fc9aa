// somefunc-lib.so as a loader sees it: loaded, somefunc found and called; no soname; only the
// C library needed; somefunc its one export.
#include <dlfcn.h>

#include <climits>
#include <cstdint>

#include "check.hpp"
#include "elf.hpp"

namespace {

using Somefunc = std::int32_t (*)(std::int32_t, std::int32_t);

TEST(SomefuncLib, LoadsAndAddsWithWrapAround) {
    void *lib = dlopen(harness::libPath("somefunc-lib.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, lib) << dlerror();
    const auto somefunc = reinterpret_cast<Somefunc>(dlsym(lib, "somefunc"));
    ASSERT_NE(nullptr, somefunc) << dlerror();
    EXPECT_EQ(5, somefunc(2, 3));
    EXPECT_EQ(INT32_MIN, somefunc(INT32_MAX, 1));
    dlclose(lib);
}

TEST(SomefuncLib, HasNoSonameAndNeedsOnlyTheCLibrary) {
    const std::string path = harness::libPath("somefunc-lib.so");
    EXPECT_TRUE(harness::elfDynamic(path, "SONAME").empty());
    EXPECT_EQ(std::vector<std::string>{"libc.so.6"}, harness::elfDynamic(path, "NEEDED"));
    std::vector<std::string> exported;
    for (const auto &s : harness::elfSymbols(path, true, {"--defined-only"}))
        exported.push_back(std::string(1, s.type) + " " + s.name);
    EXPECT_EQ(std::vector<std::string>{"T somefunc"}, exported);
}

}  // namespace
