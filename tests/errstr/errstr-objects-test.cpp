// The delivered objects lib/errstr-tls.o and lib/errstr-tsd.o as the linker sees them
// (through readelf): relocatable, position-dependent, strerror their only global, and the
// thread-local buffer reached with the local-exec model.
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "check.hpp"

namespace {

const std::string kReadelf = "/usr/bin/readelf";

std::string readelf(const std::vector<std::string> &args, const std::string &object) {
    harness::Options options{.args = args};
    options.args.push_back(harness::libPath(object));
    const auto result = harness::run(kReadelf, {}, options);
    EXPECT_EQ(0, result.status.code()) << result.err;
    return result.out;
}

std::vector<std::vector<std::string>> rows(const std::string &text) {
    std::vector<std::vector<std::string>> all;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::vector<std::string> row;
        for (std::string word; words >> word;)
            row.push_back(word);
        all.push_back(row);
    }
    return all;
}

// Symbol table rows: Num: Value Size Type Bind Vis Ndx Name.
struct Symbol {
    std::string type, bind, ndx, name;
};
std::vector<Symbol> symbols(const std::string &object) {
    std::vector<Symbol> all;
    for (const auto &row : rows(readelf({"-sW"}, object)))
        if (row.size() == 8 && row[0].ends_with(':') && row[0] != "Num:")
            all.push_back({row[3], row[4], row[6], row[7]});
    return all;
}

// Relocations of the code: type and symbol name of each.
std::vector<std::pair<std::string, std::string>> codeRelocations(const std::string &object) {
    std::vector<std::pair<std::string, std::string>> all;
    bool inText = false;
    for (const auto &row : rows(readelf({"-rW"}, object))) {
        if (row.size() >= 3 && row[0] == "Relocation")
            inText = row[2] == "'.rela.text'" || row[2] == "'.rel.text'";
        else if (inText && row.size() >= 5 && row[2].starts_with("R_"))
            all.emplace_back(row[2], row[4]);
    }
    return all;
}

class Objects : public testing::TestWithParam<const char *> {};

TEST_P(Objects, RelocatableOfThisPresetsClass) {
    const std::string header = readelf({"-hW"}, GetParam());
    EXPECT_NE(std::string::npos, header.find("REL (Relocatable file)")) << header;
    EXPECT_NE(std::string::npos, header.find(harness::is32Bit() ? "ELF32" : "ELF64")) << header;
}

TEST_P(Objects, StrerrorIsTheOnlyGlobal) {
    std::set<std::string> exported;
    for (const auto &s : symbols(GetParam()))
        if (s.ndx != "UND" && s.bind != "LOCAL")
            exported.insert(s.name + " " + s.type + " " + s.bind);
    EXPECT_EQ(std::set<std::string>{"strerror FUNC GLOBAL"}, exported);
}

// Position-dependent code reaches its data at absolute addresses, never through the GOT.
TEST_P(Objects, CodeIsPositionDependent) {
    const auto relocations = codeRelocations(GetParam());
    ASSERT_FALSE(relocations.empty());
    bool absolute = false;
    for (const auto &[type, symbol] : relocations) {
        EXPECT_EQ(std::string::npos, type.find("GOT")) << type << " against " << symbol;
        absolute |= type == "R_X86_64_32" || type == "R_X86_64_32S" || type == "R_386_32";
    }
    EXPECT_TRUE(absolute) << "no absolute relocation in the code";
}

INSTANTIATE_TEST_SUITE_P(Delivered, Objects, testing::Values("errstr-tls.o", "errstr-tsd.o"),
                         [](const auto &info) { return std::string(info.param).substr(7, 3); });

// errstr-tls reaches its buffer, a local TLS symbol, only by its offset from the thread pointer.
TEST(ErrstrTls, BufferIsLocalThreadLocalReachedByLocalExec) {
    std::set<std::string> tlsSymbols;
    for (const auto &s : symbols("errstr-tls.o"))
        if (s.type == "TLS") {
            EXPECT_EQ("LOCAL", s.bind) << s.name;
            tlsSymbols.insert(s.name);
        }
    ASSERT_EQ(1u, tlsSymbols.size());
    const std::set<std::string> localExec =
        harness::is32Bit() ? std::set<std::string>{"R_386_TLS_LE", "R_386_TLS_LE_32"}
                           : std::set<std::string>{"R_X86_64_TPOFF32"};
    int uses = 0;
    for (const auto &[type, symbol] : codeRelocations("errstr-tls.o"))
        if (tlsSymbols.contains(symbol)) {
            EXPECT_TRUE(localExec.contains(type)) << type << " against " << symbol;
            ++uses;
        }
    EXPECT_GT(uses, 0);
}

// errstr-tsd keeps its buffers on the heap: no thread-local storage of its own.
TEST(ErrstrTsd, NoThreadLocalStorage) {
    for (const auto &s : symbols("errstr-tsd.o"))
        EXPECT_NE("TLS", s.type) << s.name;
}

}  // namespace
