// Instructions per operation of the catalogue-heavy work: one message lookup,
// the listings and CSV exports of the three set kinds, the decimal-point
// look-up of a positioning transfer, and servo-sim's save of its state. Instruction counts come from callgrind
// (they do not depend on the machine's load); without valgrind only CPU time
// is printed.
//
//   bench_listing [iterations]        every operation, with the language
//                                     cache and without it (TAV_CACHE=off)
//   bench_listing --run OP N          runs OP N times (what callgrind measures)
// Uses the build's sample installation (share/tav, copied) and language modules.
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "iti/iti.h"
#include "itivv/itivv.h"
#include "line/line.h"
#include "newpara/newpara.h"
#include "sim/engine.h"
#include "text/text.h"

namespace {

namespace fs = std::filesystem;

struct Sets {
    std::unique_ptr<NewParaSet> para = std::make_unique<NewParaSet>();
    std::unique_ptr<ItiDatSet> iti = std::make_unique<ItiDatSet>();
    std::unique_ptr<ItiVvDatSet> vv = std::make_unique<ItiVvDatSet>();
    std::unique_ptr<NewParaPrint> paraPrint = std::make_unique<NewParaPrint>();
    std::unique_ptr<ItiDatPrintData> itiPrint = std::make_unique<ItiDatPrintData>();
    std::unique_ptr<ItiVvDatPrintData> vvPrint = std::make_unique<ItiVvDatPrintData>();
    std::string csv;
    std::unique_ptr<tavsim::Engine> sim;
};

struct Op {
    const char* name;
    const char* label;
    std::function<short(Sets&)> run;
};

short lookup(Sets&) {
    char out[512];
    return tav::text::ErrString_Get(-18, sizeof out, out);
}

short decimal_lookup(Sets&) {
    int pos = 0, time = 0;
    unsigned family = 0;
    return tav::newpara::decimal_point_params(&pos, &time, &family);
}

const std::vector<Op>& ops() {
    static const std::vector<Op> all = {
        {"lookup", "srvTav_ErrString_Get", lookup},
        {"iti_listing", "positioning listing", [](Sets& s) { return tav::iti::Print_mak(s.iti.get(), s.itiPrint.get()); }},
        {"iti_csv", "positioning CSV", [](Sets& s) { return tav::iti::CsvType_Wt(s.csv.c_str(), s.iti.get()); }},
        {"vv_listing", "VV listing", [](Sets& s) { return tav::itivv::Print_mak(s.vv.get(), s.vvPrint.get()); }},
        {"vv_csv", "VV CSV", [](Sets& s) { return tav::itivv::CsvType_Wt(s.csv.c_str(), s.vv.get()); }},
        {"para_listing", "extended-parameter listing",
         [](Sets& s) { return tav::newpara::NewParaPrint_Mak(s.para.get(), s.paraPrint.get()); }},
        {"para_csv", "extended-parameter CSV",
         [](Sets& s) { return tav::newpara::NewParaCsvType_Wt(s.csv.c_str(), s.para.get()); }},
        {"decimal", "decimal-point look-up", decimal_lookup},
        {"sim_save", "servo-sim state save", [](Sets& s) { return static_cast<short>(s.sim->save() ? 0 : 1); }},
        // Whole transfers over the in-process simulator (no wire time): the
        // library's, the component's and the simulator's work per transfer.
        {"iti_write", "positioning write (sim:)", [](Sets& s) {
             tav::line::Amp_Wt("1");  // the positioning transfers go to the selected amplifier
             return tav::iti::ComWt(nullptr, "1", 1, s.iti.get());
         }},
        {"para_write", "extended-parameter write (sim:)",
         [](Sets& s) { return tav::newpara::NewPara_ComWt(nullptr, "1", 0, 1, s.para.get()); }},
        {"vv_write", "VV write (sim:)", [](Sets& s) {
             tav::line::Amp_Wt("2");
             return tav::itivv::ComWt(nullptr, "2", 1, s.vv.get());
         }},
    };
    return all;
}

const Op* find_op(const std::string& name) {
    for (const Op& op : ops())
        if (name == op.name) return &op;
    return nullptr;
}

// The one function callgrind counts (--toggle-collect): n runs of op.
extern "C" __attribute__((noinline)) short bench_measured(const Op* op, Sets* sets, int n) {
    short code = 0;
    for (int i = 0; i < n; ++i) code = static_cast<short>(code | op->run(*sets));
    return code;
}

bool prepare(Sets& s, const fs::path& home) {
    s.csv = (home / "bench.csv").string();
    s.sim = tavsim::Engine::open((home / "sim-bench.json").string(), nullptr);
    if (s.sim == nullptr) return false;
    return tav::newpara::NewPara_Create(2, 0, s.para.get()) == 0 && tav::iti::DatFil_Create(2, s.iti.get()) == 0 &&
           tav::itivv::DatFil_Create(0, s.vv.get()) == 0;
}

double cpu_now() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// Median CPU time of one op over five rounds of n runs.
double cpu_ms(const Op& op, Sets& s, int n) {
    std::vector<double> rounds;
    for (int r = 0; r < 5; ++r) {
        const double t0 = cpu_now();
        bench_measured(&op, &s, n);
        rounds.push_back((cpu_now() - t0) / n * 1000.0);
    }
    std::sort(rounds.begin(), rounds.end());
    return rounds[2];
}

bool have_valgrind() { return std::system("valgrind --version >/dev/null 2>&1") == 0; }

// Instructions callgrind counted inside bench_measured for n runs; -1 on failure.
long long callgrind_instructions(const std::string& self, const std::string& op, int n, bool cached,
                                 const fs::path& home) {
    const std::string out = (home / ("callgrind." + op)).string();
    const std::string cmd = std::string(cached ? "" : "TAV_CACHE=off ") +
                            "valgrind --tool=callgrind --toggle-collect=bench_measured --callgrind-out-file=" + out +
                            " " + self + " --run " + op + " " + std::to_string(n) + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return -1;
    std::ifstream in(out);
    std::string line;
    long long total = -1;
    while (std::getline(in, line))
        if (line.rfind("totals:", 0) == 0 || line.rfind("summary:", 0) == 0) total = std::atoll(line.c_str() + 7 + (line[0] == 's' ? 1 : 0));
    fs::remove(out);
    return total;
}

fs::path make_home() {
    const fs::path build = fs::canonical("/proc/self/exe").parent_path().parent_path();
    const fs::path home = fs::temp_directory_path() / ("bench_listing_" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::copy(build / "share/tav", home, fs::copy_options::recursive);
    setenv("WYN_HOME", home.c_str(), 1);
    setenv("TAV_HOST_DIR", (build / "bin").c_str(), 0);
    setenv("TAV_SYSTEM_LANGID", "0411", 0);
    setenv("WYN_COM1", ("sim:" + (home / "sim-line.json").string()).c_str(), 1);
    return home;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--run") == 0) {
        const Op* op = find_op(argv[2]);
        const fs::path home = make_home();
        Sets sets;
        if (op == nullptr || !prepare(sets, home)) return 1;
        op->run(sets);  // the first run loads what later runs keep
        const short code = bench_measured(op, &sets, std::atoi(argv[3]));
        fs::remove_all(home);
        return code == 0 ? 0 : 1;
    }
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const fs::path home = make_home();
    const std::string self = fs::canonical("/proc/self/exe").string();
    Sets sets;
    if (!prepare(sets, home)) {
        std::fprintf(stderr, "bench_listing: no sample installation\n");
        return 1;
    }
    const bool valgrind = have_valgrind();
    std::printf("Per operation: instructions (callgrind%s) and CPU time (median of 5 x %d)\n",
                valgrind ? "" : " not found: no counts", n);
    std::printf("%-28s %14s %14s %7s %10s %10s\n", "operation", "instr cached", "instr no-cache", "ratio",
                "ms cached", "ms no-cache");
    for (const Op& op : ops()) {
        long long with = -1, without = -1;
        if (valgrind) {
            // Two run counts, so the first run's loading cancels out.
            const long long a = callgrind_instructions(self, op.name, 1, true, home);
            const long long b = callgrind_instructions(self, op.name, 1 + n, true, home);
            const long long c = callgrind_instructions(self, op.name, 1, false, home);
            const long long d = callgrind_instructions(self, op.name, 1 + n, false, home);
            if (a >= 0 && b >= 0) with = (b - a) / n;
            if (c >= 0 && d >= 0) without = (d - c) / n;
        }
        const double msWith = cpu_ms(op, sets, n);
        setenv("TAV_CACHE", "off", 1);
        const double msWithout = cpu_ms(op, sets, n);
        unsetenv("TAV_CACHE");
        std::printf("%-28s %14lld %14lld %7.1f %10.3f %10.3f\n", op.label, with, without,
                    with > 0 ? static_cast<double>(without) / static_cast<double>(with) : 0.0, msWith, msWithout);
    }
    fs::remove_all(home);
    return 0;
}
