// The loader session's transfers over a real serial line: servo-sim serves a
// pseudo-terminal with wire-time emulation at 9600, 38400 and 115200 baud.
// Each transfer runs several times; its median time is measured against the
// time its bytes need on the wire, and against that plus the device's
// turnaround once per exchange (which no host can avoid). Then the library's
// CPU time per file, listing and CSV operation (no line), and the peak
// resident memory of the whole run.
//
//   bench_session [cpu-iterations] [runs per transfer]
// Uses the build's sample installation (share/tav), servo-sim and language
// modules (bin); works in a temporary copy of the installation.
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "iti/iti.h"
#include "itivv/itivv.h"
#include "line/line.h"
#include "newpara/newpara.h"
#include "sim/process.h"
#include "wynapi/wynapi.h"

namespace {

namespace fs = std::filesystem;

constexpr int kTurnaroundUs = 500;  // the simulated device's reaction time per exchange

// servo-sim started on a pseudo-terminal behind link.
std::vector<std::string> sim_arguments(const std::string& program, const std::string& state, const std::string& link,
                                       int baud) {
    std::vector<std::string> args{program, "--state", state, "--pty", link, "--baud", std::to_string(baud),
                                  "--turnaround-us", std::to_string(kTurnaroundUs)};
    if (const char* log = std::getenv("BENCH_SIM_LOG")) args.insert(args.end(), {"--log", log});
    return args;
}

WynStatistics stats() {
    WynStatistics s{};
    Wyn_Stat_Get(&s);
    return s;
}

struct Transfer {
    const char* name;
    std::function<short()> run;
};

// Runs a transfer `runs` times; prints the median time and both ratios.
void transfer_row(const char* name, int baud, int runs, const std::function<short()>& run) {
    std::vector<double> times;
    long long ex = 0, bytes = 0;
    short code = 0;
    for (int i = 0; i < runs; ++i) {
        const WynStatistics a = stats();
        const auto t0 = std::chrono::steady_clock::now();
        code = static_cast<short>(code | run());
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        const WynStatistics b = stats();
        ex = b.exchanges - a.exchanges;
        bytes = (b.bytesOut - a.bytesOut) + (b.bytesIn - a.bytesIn);
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double wire = static_cast<double>(bytes) * 10.0 / baud;
    const double bound = wire + static_cast<double>(ex) * kTurnaroundUs / 1e6;
    std::printf("%7d  %-30s %6lld %8lld %8.3f %6.3f-%-6.3f %8.3f %8.3f %6.2f %6.2f%s\n", baud, name, ex, bytes, median,
                times.front(), times.back(), wire, bound, wire > 0 ? median / wire : 0.0,
                bound > 0 ? median / bound : 0.0, code != 0 ? "  (failed)" : "");
    std::fflush(stdout);
}

double cpu_now() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

void cpu_row(const char* what, int n, const std::function<short()>& f) {
    const double t0 = cpu_now();
    short code = 0;
    for (int i = 0; i < n; ++i) code = static_cast<short>(code | f());
    const double per = (cpu_now() - t0) / n;
    std::printf("  %-40s %10.3f ms%s\n", what, per * 1000.0, code != 0 ? "  (failed)" : "");
}

long rss_kib() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 50;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const fs::path build = fs::canonical("/proc/self/exe").parent_path().parent_path();
    const fs::path home = fs::temp_directory_path() / ("bench_session_" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::copy(build / "share/tav", home, fs::copy_options::recursive);
    fs::remove(home / "sim-state.json");
    setenv("WYN_HOME", home.c_str(), 1);
    setenv("TAV_HOST_DIR", (build / "bin").c_str(), 0);
    setenv("TAV_SYSTEM_LANGID", "0409", 0);
    const std::string link = (home / "ttySIM").string();
    {
        FILE* ini = std::fopen((home / "wyn.ini").c_str(), "wb");
        if (ini == nullptr) return 1;
        std::fprintf(ini, "[Ports]\r\nCOM1=%s\r\n", link.c_str());
        std::fclose(ini);
    }
    const long rssStart = rss_kib();

    // The host's buffers: one set of each kind and their listings.
    auto para = std::make_unique<NewParaSet>();
    auto iti = std::make_unique<ItiDatSet>();
    auto vv = std::make_unique<ItiVvDatSet>();
    auto paraPrint = std::make_unique<NewParaPrint>();
    auto itiPrint = std::make_unique<ItiDatPrintData>();
    auto vvPrint = std::make_unique<ItiVvDatPrintData>();
    const long hostBuffers = static_cast<long>(sizeof(NewParaSet) + sizeof(ItiDatSet) + sizeof(ItiVvDatSet) +
                                               sizeof(NewParaPrint) + sizeof(ItiDatPrintData) +
                                               sizeof(ItiVvDatPrintData)) / 1024;

    double load[3] = {0, 0, 0};
    ::getloadavg(load, 3);
    std::printf("Transfers against servo-sim over a pseudo-terminal (wire-time emulation on, turnaround %d us),\n"
                "median of %d runs each; load average at start %.2f %.2f %.2f\n",
                kTurnaroundUs, runs, load[0], load[1], load[2]);
    std::printf("%7s  %-30s %6s %8s %8s %13s %8s %8s %6s %6s\n", "baud", "operation", "exch.", "bytes", "median",
                "min-max [s]", "wire", "wire+ta", "ratio", "ratio+");
    const struct {
        int baud, index;
    } rates[] = {{9600, 0}, {38400, 2}, {115200, 6}};
    const char* only = std::getenv("BENCH_BAUD");  // one rate only, for a closer look
    // Another servo-sim program run right after the build's at each rate, to
    // compare two simulators under the same load.
    std::vector<std::string> sims{(build / "bin/servo-sim").string()};
    if (const char* other = std::getenv("BENCH_SIM_COMPARE")) sims.emplace_back(other);
    for (const auto& rate : rates) {
        if (only != nullptr && std::atoi(only) != rate.baud) continue;
        LineSettings settings{};
        if (tav::line::Set_Rd(&settings) != 0) return 1;
        settings.nBaud = rate.index;
        if (tav::line::SetWyn_Wt(&settings) != 0) return 1;
        for (const std::string& program : sims) {
            if (sims.size() > 1) std::printf("servo-sim: %s\n", program.c_str());
            tavsim::ServoSimProcess sim(sim_arguments(program, (home / "state.json").string(), link, rate.baud));
            if (!sim.ready()) {
                std::fprintf(stderr, "servo-sim did not start\n");
                return 1;
            }
            tav::line::Amp_Wt("1");
            transfer_row("extended parameters: read", rate.baud, runs,
                         [&] { return tav::newpara::NewPara_ComRd(nullptr, "1", 0, para.get(), 0, 0); });
            transfer_row("extended parameters: write all", rate.baud, runs,
                         [&] { return tav::newpara::NewPara_ComWt(nullptr, "1", 0, 1, para.get()); });
            transfer_row("positioning table: read", rate.baud, runs,
                         [&] { return tav::iti::ComRd(nullptr, "1", iti.get()); });
            transfer_row("positioning table: write all", rate.baud, runs,
                         [&] { return tav::iti::ComWt(nullptr, "1", 1, iti.get()); });
            tav::line::Amp_Wt("2");
            transfer_row("VV table: read", rate.baud, runs, [&] { return tav::itivv::ComRd(nullptr, "2", vv.get()); });
            transfer_row("VV table: write all", rate.baud, runs,
                         [&] { return tav::itivv::ComWt(nullptr, "2", 1, vv.get()); });
            tav::line::Amp_Wt("1");
        }
    }
    std::printf("(wire = bytes x 10 / baud: the time the bytes alone need; wire+ta = wire + exchanges x turnaround;\n"
                " ratio = median / wire; ratio+ = median / (wire + turnaround))\n");

    std::printf("\nLibrary CPU time per operation, no line (%d iterations)\n", n);
    const std::string k7p = (home / "b.k7p").string(), k7l = (home / "b.k7l").string(),
                      m7v = (home / "b.m7v").string(), csv = (home / "b.csv").string();
    auto scratchPara = std::make_unique<NewParaSet>();
    auto scratchIti = std::make_unique<ItiDatSet>();
    auto scratchVv = std::make_unique<ItiVvDatSet>();
    cpu_row("extended parameters: save .k7p", n, [&] { return tav::newpara::NewPara_Wt(k7p.c_str(), para.get()); });
    cpu_row("extended parameters: load .k7p", n,
            [&] { return tav::newpara::NewPara_Rd(k7p.c_str(), 0, scratchPara.get()); });
    cpu_row("extended parameters: listing", n,
            [&] { return tav::newpara::NewParaPrint_Mak(para.get(), paraPrint.get()); });
    cpu_row("extended parameters: CSV", n, [&] { return tav::newpara::NewParaCsvType_Wt(csv.c_str(), para.get()); });
    cpu_row("positioning table: save .k7l", n, [&] { return tav::iti::DatFil_Wt(k7l.c_str(), iti.get()); });
    cpu_row("positioning table: load .k7l", n, [&] { return tav::iti::DatFil_Rd(k7l.c_str(), scratchIti.get()); });
    cpu_row("positioning table: listing", n, [&] { return tav::iti::Print_mak(iti.get(), itiPrint.get()); });
    cpu_row("positioning table: CSV", n, [&] { return tav::iti::CsvType_Wt(csv.c_str(), iti.get()); });
    cpu_row("VV table: save .m7v", n, [&] { return tav::itivv::DatFil_Wt(m7v.c_str(), vv.get()); });
    cpu_row("VV table: load .m7v", n, [&] { return tav::itivv::DatFil_Rd(m7v.c_str(), scratchVv.get()); });
    cpu_row("VV table: listing", n, [&] { return tav::itivv::Print_mak(vv.get(), vvPrint.get()); });
    cpu_row("VV table: CSV", n, [&] { return tav::itivv::CsvType_Wt(csv.c_str(), vv.get()); });

    const long peak = rss_kib();
    const long scratch = static_cast<long>(sizeof(NewParaSet) + sizeof(ItiDatSet) + sizeof(ItiVvDatSet)) / 1024;
    std::printf("\nPeak resident memory: %ld KiB (%ld KiB at start, host buffers %ld KiB)\n", peak, rssStart,
                hostBuffers + scratch);
    std::printf("beyond the host's buffers: %.1f MiB (target < 32 MiB)\n",
                static_cast<double>(peak - hostBuffers - scratch) / 1024.0);
    fs::remove_all(home);
    return 0;
}
