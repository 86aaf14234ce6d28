// Message lookups per second: every lookup rebuilds the language state from
// the RSC folder and loads and frees the language module.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "text/text.h"

int main(int argc, char** argv) {
    // Default to the build tree's language folder.
    if (std::getenv("TAV_HOST_DIR") == nullptr) {
        std::string exe = argv[0];
        std::string bench = exe.substr(0, exe.find_last_of('/'));
        setenv("TAV_HOST_DIR", (bench + "/../bin").c_str(), 1);
    }
    const int n = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int codes[] = {0, -3, -15, -18, -31, 2, 10, 300, -45};
    char out[512];
    unsigned long checksum = 0;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) {
        tav::text::ErrString_Get(codes[i % 9], sizeof out, out);
        checksum += static_cast<unsigned char>(out[0]);
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("srvTav_ErrString_Get: %d lookups in %.3f s = %.0f lookups/s (checksum %lu)\n", n, seconds,
                n / seconds, checksum);
    return 0;
}
