// Strict number parsing for everything a user types: the whole text must be
// the number ("abc", "1.5" for an integer, "7x", " 7", "010" as octal are
// all refused), and integers must lie in the range the caller names.
#pragma once

#include <string>

namespace tavhost::core {

// A decimal integer in low..high; false for anything else.
bool parse_int(const std::string& text, long low, long high, int& out);

// A finite decimal number (digits, one optional point, optional sign; no
// exponent, hexadecimal, infinity or NaN); false for anything else.
bool parse_real(const std::string& text, double& out);

// True when value carries no more than `places` decimal places (within the
// rounding of a double).
bool fits_places(double value, int places);

// value as the shortest decimal text that reads back the same.
std::string real_text(double value);

}  // namespace tavhost::core
