// Conversions per second of each BCD and numeric-text function.
#include <chrono>
#include <cstdio>

#include "bcd/bcd.h"

namespace {

volatile int g_sink;  // keeps the loops from being optimised away

template <class F>
void run(const char* name, F&& step) {
    constexpr int kRounds = 1'000'000;
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < kRounds; ++k) g_sink = step(k);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%-20s %12.0f conversions/s\n", name, kRounds / took.count());
}

}  // namespace

int main() {
    using namespace tav::bcd;
    unsigned char field[kBcdFieldMax] = {0x21, 0x01, 0x23, 0x45, 0x67};
    char text[kTextMax];
    run("Bcd_to_Double", [&](int k) {
        double v;
        field[4] = static_cast<unsigned char>(k & 0x99);
        return Bcd_to_Double(field, 8, &v) + static_cast<int>(v);
    });
    run("Double_to_Char", [&](int k) { return Double_to_Char(k * 0.01, 0x200, 8, text) + text[5]; });
    run("Double_to_Bcd", [&](int k) { return Double_to_Bcd(k * 0.01, 0x200, 8, field) + field[4]; });
    run("int_to_Bcd", [&](int k) {
        unsigned v;
        return int_to_Bcd(k, &v) + static_cast<int>(v);
    });
    run("Bcd_to_DoubleChar", [&](int k) {
        field[4] = static_cast<unsigned char>(k & 0x99);
        return Bcd_to_DoubleChar(field, 8, text) + text[3];
    });
    return 0;
}
