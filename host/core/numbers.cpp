#include "host/core/numbers.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tavhost::core {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Optional sign, digits, and (when allowed) one point with digits on at
// least one side: the only shapes a user's number may take.
bool decimal_shape(const std::string& text, bool allowPoint) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    std::size_t digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (is_digit(text[i])) {
            ++digits;
        } else if (text[i] == '.' && allowPoint && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits > 0;
}

}  // namespace

bool parse_int(const std::string& text, long low, long high, int& out) {
    if (!decimal_shape(text, false) || text.size() > 12) return false;
    errno = 0;
    const long v = std::strtol(text.c_str(), nullptr, 10);
    if (errno != 0 || v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

bool parse_real(const std::string& text, double& out) {
    if (!decimal_shape(text, true) || text.size() > 40) return false;
    errno = 0;
    const double v = std::strtod(text.c_str(), nullptr);
    if (errno != 0 || !std::isfinite(v)) return false;
    out = v;
    return true;
}

bool fits_places(double value, int places) {
    const double scaled = value * std::pow(10.0, places);
    return std::fabs(scaled - std::nearbyint(scaled)) <= 1e-6 * std::fmax(1.0, std::fabs(scaled)) + 1e-9;
}

std::string real_text(double value) {
    // Fixed notation, as a user types numbers: 1000000000, not 1e+09.
    char text[64];
    for (int places = 0; places <= 9; ++places) {
        std::snprintf(text, sizeof text, "%.*f", places, value);
        if (std::strtod(text, nullptr) == value) return text;
    }
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

}  // namespace tavhost::core
