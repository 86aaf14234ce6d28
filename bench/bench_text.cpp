// Message lookups per second, with the language cache and without it
// (TAV_CACHE=off: every lookup rebuilds the language state from the RSC
// folder), in alternating rounds of one run so that the machine's load
// weighs on both alike. Every lookup loads and frees the language module.
//
//   bench_text [lookups per round] [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "text/text.h"

namespace {

// Lookups per second of one round.
double round_rate(int n, unsigned long& checksum) {
    const int codes[] = {0, -3, -15, -18, -31, 2, 10, 300, -45};
    char out[512];
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) {
        tav::text::ErrString_Get(codes[i % 9], sizeof out, out);
        checksum += static_cast<unsigned char>(out[0]);
    }
    return n / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    // Default to the build tree's language folder.
    if (std::getenv("TAV_HOST_DIR") == nullptr) {
        std::string exe = argv[0];
        std::string bench = exe.substr(0, exe.find_last_of('/'));
        setenv("TAV_HOST_DIR", (bench + "/../bin").c_str(), 1);
    }
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    double load[3] = {0, 0, 0};
    ::getloadavg(load, 3);
    unsigned long checksum = 0;
    std::vector<double> cached, uncached;
    for (int r = 0; r < rounds; ++r) {
        unsetenv("TAV_CACHE");
        cached.push_back(round_rate(n, checksum));
        setenv("TAV_CACHE", "off", 1);
        uncached.push_back(round_rate(n, checksum));
    }
    unsetenv("TAV_CACHE");
    const double with = median(cached), without = median(uncached);
    std::printf("srvTav_ErrString_Get, median of %d rounds of %d lookups (load average %.2f %.2f %.2f):\n", rounds, n,
                load[0], load[1], load[2]);
    std::printf("  with the language cache:    %9.0f lookups/s\n", with);
    std::printf("  without (TAV_CACHE=off):    %9.0f lookups/s\n", without);
    std::printf("  ratio:                      %9.1f x   (checksum %lu)\n", with / without, checksum);
    return 0;
}
