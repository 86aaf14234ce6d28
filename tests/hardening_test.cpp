// Every product binary is hardened: relocations read-only and bound at load,
// programs position-independent, run paths only relative to the binary
// itself (a build path there would load whatever lies at that path on the
// user's machine), and the code built with the stack protector and the
// checked libc calls. Read from the binaries with readelf.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures/child_process.h"

namespace {

struct Product {
    const char* path;  // below the build folder
    bool program;      // an executable (else a shared object)
    bool code;         // holds code (the language modules are string tables)
};

void PrintTo(const Product& p, std::ostream* os) { *os << p.path; }

const Product kProducts[] = {
    {"bin/tav", true, true},
    {"bin/servo-sim", true, true},
    {"lib/libTav_acs.so", false, true},
    {"lib/libwynapi.so", false, true},
    {"bin/RSC/tav0411.DLL", false, false},
    {"bin/RSC/tav0409.DLL", false, false},
};

std::string readelf(const std::string& options, const std::string& file) {
    return tavtest::output_of("readelf -W " + options + " '" + file + "' 2>&1");
}

// The entries of the run path (DT_RUNPATH or DT_RPATH) of a readelf -d
// listing, empty ones included: the loader reads those as the current folder.
std::vector<std::string> run_paths(const std::string& dynamic) {
    std::vector<std::string> paths;
    const std::regex list("path: \\[(.*)\\]");
    for (std::sregex_iterator i(dynamic.begin(), dynamic.end(), list), end; i != end; ++i) {
        // A colon after the last entry, so that an empty last entry is read too.
        std::istringstream in((*i)[1].str() + ":");
        for (std::string path; std::getline(in, path, ':');) paths.push_back(path);
    }
    return paths;
}

class Hardening : public ::testing::TestWithParam<Product> {};

}  // namespace

TEST_P(Hardening, RelroBindNowPieStackProtectorFortifyAndRelativeRunPath) {
    const Product& p = GetParam();
    const std::string file = std::string(TAV_BUILD_DIR) + "/" + p.path;
    ASSERT_TRUE(std::filesystem::exists(file)) << file << " is not built";
    const std::string dynamic = readelf("-d", file);
    EXPECT_NE(dynamic.find("BIND_NOW"), std::string::npos) << "lazy binding";
    EXPECT_NE(readelf("-l", file).find("GNU_RELRO"), std::string::npos) << "no RELRO";
    if (p.program) {
        EXPECT_NE(dynamic.find(" PIE"), std::string::npos) << "not position-independent";
    }
    for (const std::string& path : run_paths(dynamic)) {
#ifdef TAV_SANITIZER_RUNTIME_DIR
        if (path == TAV_SANITIZER_RUNTIME_DIR) continue;
#endif
        EXPECT_EQ(path.rfind("$ORIGIN", 0), 0u) << "run path entry '" << path << "'";
    }
    if (p.code) {
        const std::string symbols = readelf("--dyn-syms", file);
        EXPECT_NE(symbols.find("__stack_chk_fail"), std::string::npos) << "no stack protector";
        // printf, snprintf, memcpy and the like go through their checked forms.
#ifdef TAV_SANITIZER_TREE
        // The sanitizer tree builds tav unoptimised and clang's programs call
        // the runtime's interceptors; the libraries still show the checked forms.
        if (p.program) return;
#endif
#ifdef TAV_UNFORTIFIED_TREE
        return;  // a Debug tree builds without FORTIFY, which needs optimisation
#endif
        EXPECT_NE(symbols.find("printf_chk"), std::string::npos) << "no FORTIFY";
    }
}

INSTANTIATE_TEST_SUITE_P(Products, Hardening, ::testing::ValuesIn(kProducts),
                         [](const ::testing::TestParamInfo<Product>& info) {
                             const std::string file = std::filesystem::path(info.param.path).filename().string();
                             return std::regex_replace(file, std::regex("[^A-Za-z0-9]"), "_");
                         });
