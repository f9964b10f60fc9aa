// What the binutils say about a built ELF file: its symbols (nm) and its dynamic section
// (readelf -d), for tests that check how an object was linked as well as what it prints.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "harness.hpp"

namespace harness {

struct ElfSymbol {
    unsigned long long address = 0;  // 0 for undefined symbols
    char type = '?';                 // nm's letter: T text, D data, U undefined, ...
    std::string name;                // with "@VERSION" when the symbol is versioned
};

// nm's list of the symbol table (dynamic: the dynamic symbol table), plus nm's extra options.
inline std::vector<ElfSymbol> elfSymbols(const std::string &path, bool dynamic,
                                         std::vector<std::string> options = {}) {
    std::vector<std::string> args;
    if (dynamic)
        args.push_back("--dynamic");
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(path);
    const Result r = run("/usr/bin/nm", "", Options{.args = args});
    std::vector<ElfSymbol> symbols;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string word; fields >> word;)
            f.push_back(word);
        if (f.size() == 2)
            symbols.push_back({0, f[0][0], f[1]});
        else if (f.size() == 3)
            symbols.push_back({std::stoull(f[0], nullptr, 16), f[1][0], f[2]});
    }
    return symbols;
}

// The values of one tag of the dynamic section, as readelf -d shows them: the name in
// brackets for NEEDED, SONAME, RPATH and RUNPATH, else the rest of the line.
inline std::vector<std::string> elfDynamic(const std::string &path, const std::string &tag) {
    const Result r = run("/usr/bin/readelf", "", Options{.args = {"--dynamic", "--wide", path}});
    std::vector<std::string> values;
    std::istringstream lines(r.out);
    const std::string marker = "(" + tag + ")";
    for (std::string line; std::getline(lines, line);) {
        const auto at = line.find(marker);
        if (at == std::string::npos)
            continue;
        std::string value = line.substr(at + marker.size());
        const auto open = value.find('['), close = value.rfind(']');
        if (open != std::string::npos && close != std::string::npos && close > open)
            value = value.substr(open + 1, close - open - 1);
        else
            value = value.substr(value.find_first_not_of(' '));
        values.push_back(value);
    }
    return values;
}

}  // namespace harness
