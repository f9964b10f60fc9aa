// The image-handler plug-ins loaded into the image-viewer host: load and unload lines, the
// record each registers, canHandle, drawImage and savefile byte for byte (golden sessions);
// a host that does not export reg_handler; and how each plug-in was linked (its symbols).
// The host hands every name over right after an inaccessible page, so a plug-in that read
// before the start of a short name would crash the session instead of passing.
#include <algorithm>
#include <set>

#include "check.hpp"
#include "elf.hpp"

namespace {

const std::string kFormats[] = {"bmp", "jpg", "gif", "tif"};

std::string plugin(const std::string &format) {
    return harness::libPath(format + "-handler-plugin.so");
}

// Replace every "EXT" in a script by the plug-in's extension.
std::string forFormat(std::string script, const std::string &format) {
    for (auto at = script.find("EXT"); at != std::string::npos; at = script.find("EXT", at))
        script.replace(at, 3, format);
    return script;
}

class EachPlugin : public testing::TestWithParam<std::string> {};

// One plug-in alone: its load line and record, canHandle on its own extension, upper case, a
// bare extension, a letter before it, a letter after it, names shorter than an extension;
// drawImage on its own and another format; savefile with and without an argument; unload.
TEST_P(EachPlugin, SessionMatchesGolden) {
    const std::string format = GetParam();
    const std::string script = forFormat(
        "can 0 picture.EXT\n"
        "can 0 PICTURE.BMP\ncan 0 PICTURE.JPG\ncan 0 PICTURE.GIF\ncan 0 PICTURE.TIF\n"
        "can 0 EXT\ncan 0 xEXT\ncan 0 picture.EXTx\n"
        "can 0 ab\ncan 0 a\ncan 0 \n"
        "draw 0 photo.EXT\ndraw 0 photo.png\n"
        "save 0\nsave 0 photo.EXT\n",
        format);
    const auto result =
        harness::run(harness::binPath("image-viewer"), script, {.args = {plugin(format)}});
    EXPECT_GOLDEN(result, "plugins/golden/" + format + "-session");
}

// Every plug-in keeps to its own files: load all four, let the host choose one per name.
TEST(AllPlugins, HostChoosesOnePerFile) {
    std::vector<std::string> args;
    for (const auto &format : kFormats)
        args.push_back(plugin(format));
    const auto result =
        harness::run(harness::binPath("image-viewer"),
                     "open holiday.bmp\nopen holiday.jpg\nopen holiday.gif\nopen holiday.tif\n"
                     "open holiday.png\nsave 3\nquit\n",
                     {.args = args});
    EXPECT_GOLDEN(result, "plugins/golden/all-four");
}

// Without reg_handler among the host's exported symbols, the loader refuses the plug-in
// (the host loads with RTLD_NOW): no load line, nothing registered.
TEST_P(EachPlugin, HostNotExportingRegHandlerCannotLoadIt) {
    const std::string format = GetParam();
    const auto result = harness::run(harness::binPath("image-viewer-no-export"), "quit\n",
                                     {.args = {plugin(format)}});
    EXPECT_BYTES("viewer: loading " + format + "-handler-plugin.so\n", result.out);
    EXPECT_NE(std::string::npos, result.err.find("undefined symbol: reg_handler")) << result.err;
    EXPECT_EQ("exit status 1", result.status.describe());
}

bool exports(const std::string &path, const std::string &name) {
    const auto symbols = harness::elfSymbols(path, true, {"--defined-only"});
    return std::any_of(symbols.begin(), symbols.end(),
                       [&](const harness::ElfSymbol &s) { return s.name == name; });
}

TEST(Hosts, OnlyOneExportsRegHandler) {
    EXPECT_TRUE(exports(harness::binPath("image-viewer"), "reg_handler"));
    EXPECT_FALSE(exports(harness::binPath("image-viewer-no-export"), "reg_handler"));
}

// The C library functions a plug-in may use; reg_handler is the one other undefined symbol.
const std::set<std::string> kLibcCalls = {"printf", "puts", "strlen", "strcmp"};

// Defined global symbols as "type name", and the undefined ones, of nm's list.
struct SymbolSets {
    std::set<std::string> defined, undefined;
};

SymbolSets symbolSets(const std::vector<harness::ElfSymbol> &symbols) {
    SymbolSets sets;
    for (const auto &s : symbols) {
        if (s.type == 'U')
            sets.undefined.insert(s.name);
        else if (s.type >= 'A' && s.type <= 'Z' && !s.name.starts_with("__x86.get_pc_thunk"))
            sets.defined.insert(std::string(1, s.type) + " " + s.name);
    }
    return sets;
}

std::set<std::string> expectedExports(const std::string &format) {
    return {"T _init",
            "T _fini",
            "T " + format + "_canHandle",
            "T " + format + "_drawImage",
            "T " + format + "_savefile",
            "D " + format + "handler"};
}

// Undefined: reg_handler without a version (so no library is named for it), and C library
// functions only.
void checkUndefined(const std::set<std::string> &undefined, bool versioned) {
    EXPECT_TRUE(undefined.contains("reg_handler")) << testing::PrintToString(undefined);
    for (const auto &name : undefined) {
        if (name == "reg_handler" || name == "_GLOBAL_OFFSET_TABLE_")
            continue;
        const auto at = name.find('@');
        EXPECT_TRUE(kLibcCalls.contains(name.substr(0, at))) << name;
        if (versioned) {
            EXPECT_TRUE(at != std::string::npos && name.substr(at).starts_with("@GLIBC_")) << name;
        }
    }
}

TEST_P(EachPlugin, ExportsItsEntriesRecordInitAndFini) {
    const std::string path = plugin(GetParam());
    const auto symbols = harness::elfSymbols(path, true);
    const auto sets = symbolSets(symbols);
    EXPECT_EQ(expectedExports(GetParam()), sets.defined);  // the record is writable data (D)
    checkUndefined(sets.undefined, true);
    EXPECT_EQ(std::vector<std::string>{"libc.so.6"}, harness::elfDynamic(path, "NEEDED"));
    // The loader runs what INIT and FINI name: our own _init and _fini.
    for (const auto &[tag, name] : {std::pair{"INIT", "_init"}, std::pair{"FINI", "_fini"}}) {
        const auto entry = harness::elfDynamic(path, tag);
        const auto symbol = std::find_if(symbols.begin(), symbols.end(),
                                         [&](const auto &s) { return s.name == name; });
        ASSERT_EQ(1u, entry.size()) << tag;
        ASSERT_NE(symbols.end(), symbol) << name;
        EXPECT_EQ(symbol->address, std::stoull(entry[0], nullptr, 16)) << tag;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EachPlugin, testing::ValuesIn(kFormats));

TEST(GifObject, IsTheRelocatableObjectOfTheGifPlugin) {
    const std::string path = harness::libPath("gif-handler-plugin.o");
    const auto header = harness::run("/usr/bin/readelf", "", {.args = {"--file-header", path}}).out;
    EXPECT_NE(std::string::npos, header.find("REL (Relocatable file)")) << header;
    const auto sets = symbolSets(harness::elfSymbols(path, false));
    EXPECT_EQ(expectedExports("gif"), sets.defined);
    checkUndefined(sets.undefined, false);  // versions are given only when linking
}

}  // namespace
