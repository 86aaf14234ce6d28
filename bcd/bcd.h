// Conversions between the amplifier's signed packed-BCD fields, doubles and
// the fixed-width decimal text of files and listings.
//
// BCD field layout: byte 0 is the header (high nibble: decimal places 0..15,
// bit 0: sign, 1 = negative), then two digits per byte, most significant
// first. Digit count 16 is not BCD: bytes 1..5 hold a 40-bit binary integer.
// A format code carries the decimal places in bits 8..11.
//
// Buffer sizes callers must provide:
//   BCD field, digit counts 6 / 8 / 10:  4 / 5 / 6 bytes (1 + digits / 2);
//   digit count 16:                      Bcd_to_Double reads 6 bytes,
//                                        Double_to_Bcd writes 7, and
//                                        Bcd_to_DoubleChar (BCD only) reads 9;
//   any other digit count:               kBcdFieldMax bytes (always enough);
//   text output:                         kTextMax bytes (always enough).
// No function reads or writes beyond these sizes, whatever its arguments.
#pragma once

#include <cstddef>

namespace tav::bcd {

inline constexpr std::size_t kBcdFieldMax = 16;
inline constexpr std::size_t kTextMax = 64;

// Field to double. 0; -26 when a digit is A..F (out still gets the value up to
// the first such digit) or when the decimal places exceed digits (out untouched).
short Bcd_to_Double(const unsigned char* bcd, int digits, double* out);

// Double to fixed-width text, zero-padded, or blank-padded in print form.
// 0; -15 (out empty) when digits minus decimal places is not within 0..10.
short Double_to_Char(double value, int code, int digits, char* out);

// Double to field through Double_to_Char; 0 or its -15 (out untouched).
short Double_to_Bcd(double value, int code, int digits, unsigned char* out);

// The decimal digits of value packed as hex nibbles (1234 -> 0x1234). Always 0.
short int_to_Bcd(int value, unsigned int* out);

// Field to text nibble by nibble, without going through a double. Always 0.
short Bcd_to_DoubleChar(const unsigned char* bcd, int digits, char* out);

}  // namespace tav::bcd
