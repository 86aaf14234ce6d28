// Operations per second of the standard-parameter file write and read of a
// full set, the page image and the CSV export.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>

#include "Tav_acs.h"
#include "para/para.h"

namespace fs = std::filesystem;

namespace {

void measure(const char* label, const std::function<short()>& op) {
    using clock = std::chrono::steady_clock;
    int n = 0;
    const auto start = clock::now();
    auto elapsed = clock::duration::zero();
    while (elapsed < std::chrono::milliseconds(1000)) {
        if (op() != 0) {
            std::printf("%-24s failed\n", label);
            return;
        }
        ++n;
        elapsed = clock::now() - start;
    }
    const double s = std::chrono::duration<double>(elapsed).count();
    std::printf("%-24s %10.0f ops/s\n", label, n / s);
}

}  // namespace

int main() {
    // A private installation with the servo operator's definitions.
    const fs::path home = fs::temp_directory_path() / ("bench_para_" + std::to_string(getpid()));
    fs::create_directories(home / "def");
    // The build tree: bench/ beside share/ and bin/.
    const fs::path build = fs::read_symlink("/proc/self/exe").parent_path().parent_path();
    const fs::path share = build / "share/tav-operator";
    for (const auto& e : fs::directory_iterator(share / "def")) fs::copy_file(e.path(), home / "def" / e.path().filename());
    fs::copy_file(build / "share/tav/servo.set", home / "servo.set");
    setenv("WYN_HOME", home.c_str(), 1);
    if (getenv("TAV_HOST_DIR") == nullptr) setenv("TAV_HOST_DIR", (build / "bin").c_str(), 1);

    auto set = std::make_unique<ParaSet>();
    auto back = std::make_unique<ParaSet>();
    auto page = std::make_unique<ParaPrint>();
    if (tav::para::Para_Create(0, 0, set.get()) != 0) {
        std::printf("no definition\n");
        return 1;
    }
    std::snprintf(set->szComment, sizeof set->szComment, "bench\r\ncomment\r\n");
    const std::string file = (home / "bench.k7p").string();
    const std::string csv = (home / "bench.csv").string();
    measure("file write (40 params)", [&] { return tav::para::Para_Wt(file.c_str(), set.get()); });
    measure("file read (40 params)", [&] { return tav::para::Para_Rd(file.c_str(), 0, back.get()); });
    measure("listing", [&] { return tav::para::ParaPrint_Mak(set.get(), page.get()); });
    measure("CSV export", [&] { return tav::para::ParaCsvType_Wt(csv.c_str(), set.get()); });
    fs::remove_all(home);
    return 0;
}
