// Extended parameter set throughput: definition load, file load (definition
// and file), file save, listing and CSV export of a full 297-parameter set,
// in operations per second.
//
//   bench_newpara [iterations]
// Uses the build's sample installation (share/tav) and language modules (bin).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "newpara/newpara.h"

namespace {

using Clock = std::chrono::steady_clock;

template <class F>
void measure(const char* what, int n, F&& f) {
    const auto t0 = Clock::now();
    short code = 0;
    for (int i = 0; i < n; ++i) code = static_cast<short>(code | f());
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("%-36s %9.0f ops/s  %8.3f ms/op%s\n", what, n / s, 1000.0 * s / n, code != 0 ? "  (failed)" : "");
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 200;
    const std::filesystem::path build = std::filesystem::canonical("/proc/self/exe").parent_path().parent_path();
    setenv("WYN_HOME", (build / "share/tav").c_str(), 0);
    setenv("TAV_HOST_DIR", (build / "bin").c_str(), 0);
    setenv("TAV_SYSTEM_LANGID", "0411", 0);
    const std::string file = "/tmp/bench_newpara_" + std::to_string(getpid()) + ".k7p";
    const std::string csv = "/tmp/bench_newpara_" + std::to_string(getpid()) + ".csv";

    using namespace tav::newpara;
    auto set = std::make_unique<NewParaSet>();
    auto print = std::make_unique<NewParaPrint>();
    if (NewPara_Create(2, 0, set.get()) != 0) {
        std::fprintf(stderr, "bench_newpara: no sample installation below %s\n", build.c_str());
        return 1;
    }
    if (NewPara_Wt(file.c_str(), set.get()) != TAV_OK) return 1;
    measure("definition load", n, [&] { return NewParaIni_Rd(2, 0, 0, set.get()); });
    measure("file load (definition + file)", n, [&] { return NewPara_Rd(file.c_str(), 0, set.get()); });
    measure("file save", n, [&] { return NewPara_Wt(file.c_str(), set.get()); });
    measure("reconciliation (1,1,0,1)", n, [&] { return NewPara_Syousuh_Chg(set.get(), 1, 1, 0, 1); });
    measure("listing", n, [&] { return NewParaPrint_Mak(set.get(), print.get()); });
    measure("CSV export", n, [&] { return NewParaCsvType_Wt(csv.c_str(), set.get()); });
    std::remove(file.c_str());
    std::remove(csv.c_str());
    return 0;
}
