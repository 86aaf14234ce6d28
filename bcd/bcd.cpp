// BCD field <-> double <-> fixed-width text. The steps follow the amplifier
// tools' historical conversions closely, odd roundings included, because the
// files and listings written by earlier versions must come out identical.
#include "bcd/bcd.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "Tav_acs.h"
#include "frame/frame.h"

namespace tav::bcd {

namespace {

constexpr char kLowerHex[] = "0123456789abcdef";

// Decimal places of a header byte (high nibble).
int header_places(unsigned char header) { return header >> 4; }

// Decimal places of a format code (bits 8..11); read unsigned so that a
// negative code shifts without surprises.
int code_places(int code) { return static_cast<int>((static_cast<unsigned>(code) >> 8) & 0xFu); }

bool is_hex_letter(char c) { return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The decimal prefix of text as a double, like atof: leading blank and sign
// accepted, 0 when nothing converts. Parsed in fixed notation so that an 'e'
// digit ends the number instead of starting an exponent, and independent of
// the host's locale.
double parse_decimal(const char* text, std::size_t len) {
    std::size_t k = 0;
    while (k < len && text[k] == ' ') ++k;
    double v = 0.0;
    const auto r = std::from_chars(text + k, text + len, v, std::chars_format::fixed);
    return r.ec == std::errc() ? v : 0.0;
}

// atoi-style integer prefix: blanks, sign, digits; saturates instead of
// overflowing.
long long parse_integer(const char* text, std::size_t len) {
    std::size_t k = 0;
    while (k < len && text[k] == ' ') ++k;
    bool negative = false;
    if (k < len && (text[k] == '-' || text[k] == '+')) negative = text[k++] == '-';
    unsigned long long mag = 0;
    constexpr unsigned long long kLimit = 9223372036854775807ull;
    for (; k < len && text[k] >= '0' && text[k] <= '9'; ++k) {
        mag = mag * 10 + static_cast<unsigned>(text[k] - '0');
        if (mag > kLimit) { mag = kLimit; break; }
    }
    const long long v = static_cast<long long>(mag);
    return negative ? -v : v;
}

// Two characters read as one hexadecimal byte the way strtol does it: blanks,
// an optional sign, then hex digits up to the first other character.
unsigned char parse_hex_pair(const char* pair) {
    int k = 0;
    while (k < 2 && pair[k] == ' ') ++k;
    bool negative = false;
    if (k < 2 && (pair[k] == '-' || pair[k] == '+')) negative = pair[k++] == '-';
    unsigned v = 0;
    for (; k < 2; ++k) {
        const char c = pair[k];
        unsigned nib;
        if (c >= '0' && c <= '9') nib = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f') nib = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') nib = static_cast<unsigned>(c - 'A' + 10);
        else break;
        v = v * 16 + nib;
    }
    return static_cast<unsigned char>(negative ? 0u - v : v);
}

// |value| as printf("%0<width>.<precision>f") would print it, into buf;
// returns the length. Finite values go through to_chars, which rounds exactly
// like printf but never uses a locale's decimal comma; inf and nan keep
// printf's blank padding.
std::size_t format_magnitude(double magnitude, unsigned width, int precision, char* buf,
                             std::size_t size) {
    if (!std::isfinite(magnitude)) {
        const int n = std::snprintf(buf, size, "%*s", static_cast<int>(width),
                                    std::isnan(magnitude) ? "nan" : "inf");
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    char digits[400];  // DBL_MAX in fixed notation with 16 decimals needs 326
    const auto r = std::to_chars(digits, digits + sizeof digits, magnitude,
                                 std::chars_format::fixed, precision);
    if (r.ec != std::errc()) { buf[0] = '\0'; return 0; }
    const std::size_t len = static_cast<std::size_t>(r.ptr - digits);
    const std::size_t pad = len < width ? width - len : 0;
    if (pad + len + 1 > size) { buf[0] = '\0'; return 0; }
    std::memset(buf, '0', pad);
    std::memcpy(buf + pad, digits, len);
    buf[pad + len] = '\0';
    return pad + len;
}

}  // namespace

short Bcd_to_Double(const unsigned char* bcd, int digits, double* out) {
    if (digits == 16) {
        std::uint64_t v = 0;
        for (int k = 1; k <= 5; ++k) v = (v << 8) | bcd[k];
        *out = static_cast<double>(v);
        return TAV_OK;
    }

    // The digit bytes as fixed-width lower-case hex: 3 bytes for 6 digits,
    // 5 for 10, 4 for every other count.
    const int bytes = digits == 6 ? 3 : digits == 10 ? 5 : 4;
    char hex[10];
    const int len = bytes * 2;
    for (int k = 0; k < bytes; ++k) {
        hex[2 * k] = kLowerHex[bcd[1 + k] >> 4];
        hex[2 * k + 1] = kLowerHex[bcd[1 + k] & 0xF];
    }

    const int d = header_places(bcd[0]);
    if (d > digits) return TAV_E_NOT_BCD;

    // sign, integer digits, '.', fraction digits. Only odd digit counts above
    // 8 can ask for more places than there are digits; the missing leading
    // fraction digits are zeros then.
    char text[1 + 10 + 1 + 15 + 1];
    int n = 0;
    text[n++] = (bcd[0] & 1) ? '-' : ' ';
    const int intLen = len > d ? len - d : 0;
    std::memcpy(text + n, hex, static_cast<std::size_t>(intLen));
    n += intLen;
    if (d > 0) {
        text[n++] = '.';
        for (int k = len; k < d; ++k) text[n++] = '0';
        std::memcpy(text + n, hex + intLen, static_cast<std::size_t>(len - intLen));
        n += len - intLen;
    }

    // The conversion stops at the first letter; the letter still fails the call.
    int end = 0;
    while (end < n && !is_hex_letter(text[end])) ++end;
    *out = parse_decimal(text, static_cast<std::size_t>(end));
    return end < n ? TAV_E_NOT_BCD : TAV_OK;
}

short Double_to_Char(double value, int code, int digits, char* out) {
    const int d = code_places(code);
    // Integer width, as the 16-bit count the historical check compared; this
    // also keeps every width below bounded whatever digits is.
    const unsigned i = static_cast<std::uint16_t>(static_cast<unsigned>(digits) - static_cast<unsigned>(d));
    if (i > 10) {
        out[0] = '\0';
        return TAV_E_RANGE;
    }

    // Template: sign, integer zeros, '.', fraction zeros. Without places the
    // zero count follows the field size rather than the integer width.
    char result[1 + 10 + 1 + 15 + 1];
    std::size_t tlen = 0;
    if (value < 0) result[tlen++] = '-';
    const unsigned zeros = d > 0 ? i : digits == 8 ? 8u : digits == 10 ? 10u : 6u;
    std::memset(result + tlen, '0', zeros);
    tlen += zeros;
    if (d > 0) {
        result[tlen++] = '.';
        std::memset(result + tlen, '0', static_cast<std::size_t>(d));
        tlen += static_cast<std::size_t>(d);
    }
    result[tlen] = '\0';

    // Rounded to one place more than kept, then cut: 1.2349 with 2 places is
    // 1.23. Without places, rounded to six and cut at the point.
    char mag[512];
    std::size_t mlen = format_magnitude(std::fabs(value), i, d > 0 ? d + 1 : 6, mag, sizeof mag);
    if (d > 0) {
        if (mlen > 0) mag[--mlen] = '\0';
    } else if (const char* dot = std::strchr(mag, '.')) {
        mlen = static_cast<std::size_t>(dot - mag);
    }

    // Right-aligned over the template: a magnitude longer than the integer
    // zeros overwrites the sign and loses its leading characters.
    for (std::size_t k = 0; k < tlen && k < mlen; ++k) result[tlen - 1 - k] = mag[mlen - 1 - k];

    std::memcpy(out, result, tlen + 1);
    if (frame::switches().printForm != 1) return TAV_OK;

    if (d > 0) {
        const char* dot = std::strchr(result, '.');
        const char* frac = dot ? dot : result + tlen;
        const std::size_t intLen = static_cast<std::size_t>(frac - result);
        const int width = (digits == 6 ? 8 : digits == 10 ? 12 : 10) - static_cast<int>(std::strlen(frac));
        const long long n = parse_integer(result, intLen);
        if (intLen > 0 && result[0] == '-' && n == 0)
            std::snprintf(out, kTextMax, "-0%s", frac);
        else  // a negative width left-aligns, as the historical "%-6d" did
            std::snprintf(out, kTextMax, "%*lld%s", width, n, frac);
    } else {
        const long long n = parse_integer(result, tlen);
        std::snprintf(out, kTextMax, "%*lld", digits == 6 ? 8 : digits == 10 ? 12 : 10, n);
    }
    return TAV_OK;
}

short Double_to_Bcd(double value, int code, int digits, unsigned char* out) {
    if (digits == 16) {
        // Cut toward zero; NaN and values beyond 64 bits give 0x8000000000000000
        // as the x86 conversion does, so bits 47..0 are all zero.
        std::int64_t v = INT64_MIN;
        if (value >= -0x1p63 && value < 0x1p63) v = static_cast<std::int64_t>(value);
        const std::uint64_t u = static_cast<std::uint64_t>(v);
        for (int k = 0; k < 6; ++k) out[k] = static_cast<unsigned char>(u >> (40 - 8 * k));
        out[6] = 0;
        return TAV_OK;
    }

    char text[kTextMax];
    const short rc = Double_to_Char(value, code, digits, text);
    if (rc != TAV_OK) return rc;

    unsigned char header = static_cast<unsigned char>((static_cast<unsigned>(code) >> 4) & 0xF0u);
    const char* p = text;
    if (*p == '-') {
        header |= 1;
        ++p;
    }

    char packed[kTextMax];
    std::size_t n = 0;
    for (; *p; ++p)
        if (*p != '.') packed[n++] = *p;

    // Pairs into bytes 1 .. digits/2; an odd last digit is dropped. Bytes the
    // text does not reach are zeroed rather than left stale.
    const std::size_t want = digits > 0 ? static_cast<std::size_t>(digits / 2) : 0;
    const std::size_t bytes = want < kBcdFieldMax - 1 ? want : kBcdFieldMax - 1;
    out[0] = header;
    for (std::size_t k = 0; k < bytes; ++k)
        out[1 + k] = 2 * k + 1 < n ? parse_hex_pair(packed + 2 * k) : 0;
    return TAV_OK;
}

short int_to_Bcd(int value, unsigned int* out) {
    // "%d" read back as hex: each decimal digit becomes a nibble. Only the
    // last eight digits fit; a minus sign negates the packed magnitude.
    unsigned mag = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    unsigned packed = 0;
    for (int shift = 0; mag != 0 && shift < 32; shift += 4, mag /= 10) packed |= (mag % 10) << shift;
    *out = value < 0 ? 0u - packed : packed;
    return TAV_OK;
}

short Bcd_to_DoubleChar(const unsigned char* bcd, int digits, char* out) {
    const int d = header_places(bcd[0]);
    // Wide arithmetic: digits may be anything.
    const long long i = static_cast<long long>(digits) - d;
    // A header with more places than digits must not walk off the field.
    const std::size_t fieldEnd =
        digits == 6 || digits == 8 || digits == 10 || digits == 16 ? 1 + static_cast<std::size_t>(digits) / 2
                                                                   : kBcdFieldMax;
    std::size_t next = 1;  // next field byte
    std::size_t n = 0;
    out[n++] = (bcd[0] & 1) ? '-' : ' ';

    const long long intBytes = i > 0 ? (i + 1) / 2 : 0;
    for (long long k = 0; k < intBytes && next < fieldEnd; ++k, ++next)
        n += static_cast<std::size_t>(std::snprintf(out + n, kTextMax - n, k == 0 ? "%2X" : "%02X", bcd[next]));

    if (d > 0) {
        if (i > 0 && (i & 1) && n > 1) {
            // The last integer byte's low nibble is the first fraction digit.
            const char first = out[n - 1];
            out[n - 1] = '.';
            out[n++] = first;
        } else {
            out[n++] = '.';
        }
        for (int k = 0; k < d / 2 && next < fieldEnd; ++k, ++next)
            n += static_cast<std::size_t>(std::snprintf(out + n, kTextMax - n, "%02X", bcd[next]));
    }
    out[n] = '\0';
    return TAV_OK;
}

}  // namespace tav::bcd
