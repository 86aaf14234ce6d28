#include "bcd/bcd.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "frame/frame.h"

using namespace tav::bcd;
using Field = std::array<unsigned char, kBcdFieldMax>;

namespace {

std::string to_char(double v, int code, int digits, short* rc = nullptr) {
    char out[kTextMax];
    std::memset(out, 'x', sizeof out);
    const short r = Double_to_Char(v, code, digits, out);
    if (rc) *rc = r;
    return out;
}

// Value, places code and digit count -> the text.
struct CharCase {
    double v;
    int code, digits;
    const char* want;
};

std::vector<unsigned char> bytes_of(const Field& f, size_t n) { return {f.begin(), f.begin() + static_cast<long>(n)}; }

std::string to_double_char(const Field& f, int digits) {
    char out[kTextMax];
    Bcd_to_DoubleChar(f.data(), digits, out);
    return out;
}

}  // namespace

// Field, digit count -> result code and value (a hex nibble stops the value
// at the first letter; more places than digits leave the value untouched).
TEST(BcdToDouble, SignPlacesWidthsAndNonBcdNibbles) {
    const struct {
        Field f;
        int digits;
        short code;
        double want;
    } cases[] = {
        {{0x11, 0x01, 0x23, 0x45, 0x67, 0x89}, 6, 0, -1234.5},
        {{0x11, 0x01, 0x23, 0x45, 0x67, 0x89}, 10, 0, -123456789.0 / 10},  // five digit bytes
        {{0x11, 0x01, 0x23, 0x45, 0x67, 0x89}, 7, 0, -123456.7},           // odd counts read four bytes
        {{0x60, 0x01, 0x23, 0x45, 0x67, 0x89}, 6, 0, 0.012345},            // all six digits after the point
        {{0x20, 0x00, 0x1a, 0x23, 0x45}, 8, TAV_E_NOT_BCD, 1.0},
        {{0x00, 0x01, 0xe9, 0x00}, 6, TAV_E_NOT_BCD, 1.0},  // an 'e' is a letter, not an exponent
        {{0x70, 0x12, 0x34, 0x56}, 6, TAV_E_NOT_BCD, 42},
    };
    for (const auto& c : cases) {
        double v = 42;
        EXPECT_EQ(Bcd_to_Double(c.f.data(), c.digits, &v), c.code) << +c.f[0] << "/" << c.digits;
        EXPECT_EQ(v, c.want) << +c.f[0] << "/" << c.digits;
    }
    double v = 0;
    const Field minusZero{0x01};  // keeps its sign
    EXPECT_EQ(Bcd_to_Double(minusZero.data(), 8, &v), 0);
    EXPECT_TRUE(v == 0 && std::signbit(v));
}

// Odd counts use six zeros; with no places the value is cut, not rounded
// (after rounding to six places); only bits 8..11 of the code count; a value
// too wide loses its leading digits, and then its sign.
TEST(DoubleToChar, TemplateRoundingAndOverflow) {
    const CharCase cases[] = {
        {-1.5, 0x100, 6, "-00001.5"}, {1.2349, 0x200, 5, "001.23"}, {9.9996, 0x200, 6, "0010.00"},
        {12.9, 0, 6, "000012"}, {0.9999999, 0, 6, "000001"}, {-7, 0, 8, "-00000007"}, {7, 0, 10, "0000000007"},
        {7, 0, 4, "000007"}, {-0.0, 0x100, 6, "00000.0"}, {1234567.5, 0x100, 6, "34567.5"},
        {-1234567.5, 0x100, 6, "234567.5"}, {5, 0x7FFFF200, 8, "000005.00"}};
    for (const CharCase& c : cases) EXPECT_EQ(to_char(c.v, c.code, c.digits), c.want) << c.v << "/" << c.digits;
    for (auto [code, digits] : {std::pair{0x700, 6}, {0, 11}}) {  // too many places or digits
        short rc = 0;
        EXPECT_EQ(to_char(1, code, digits, &rc), "");
        EXPECT_EQ(rc, TAV_E_RANGE);
    }
}

TEST(DoubleToChar, PrintFormPadsWithBlanks) {
    tav::frame::PrintFormScope print;
    const CharCase cases[] = {
        {-1.5, 0x100, 6, "    -1.5"}, {-0.25, 0x200, 8, "-0.25"}, {0.25, 0x200, 8, "      0.25"},
        {12.345, 0x300, 10, "      12.345"}, {-42, 0, 6, "     -42"}, {-0.4, 0, 6, "       0"},
        {9876543210.0, 0, 10, "  9876543210"} /* 64-bit */, {12345678, 0, 8, "  12345678"}};
    for (const CharCase& c : cases) EXPECT_EQ(to_char(c.v, c.code, c.digits), c.want) << c.v << "/" << c.digits;
}

TEST(DoubleToBcd, PacksDigitsAndHeader) {
    const struct {
        double v;
        int code, digits;
        short rc;
        Field want;  // from a field of 0xEE
    } cases[] = {
        {12.34, 0x200, 8, 0, {0x20, 0x00, 0x00, 0x12, 0x34, 0xEE}},
        {-1234.5, 0x100, 6, 0, {0x11, 0x01, 0x23, 0x45, 0xEE, 0xEE}},    // byte 4 not part of the field
        {123456.7, 0x100, 7, 0, {0x10, 0x12, 0x34, 0x56, 0xEE, 0xEE}},   // odd last digit dropped
        {-1234567.5, 0x100, 6, 0, {0x10, 0x23, 0x45, 0x67, 0xEE, 0xEE}}, // sign overwritten
        {1, 0x700, 6, TAV_E_RANGE, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
    };
    for (const auto& c : cases) {
        Field f;
        f.fill(0xEE);
        EXPECT_EQ(Double_to_Bcd(c.v, c.code, c.digits, f.data()), c.rc) << c.v;
        EXPECT_EQ(bytes_of(f, 6), bytes_of(c.want, 6)) << c.v;
    }
}

TEST(DoubleToBcd, Digits16IsA48BitBinaryWrite) {
    Field f;
    f.fill(0xEE);
    EXPECT_EQ(Double_to_Bcd(0x800102030405 + 0.9, 0, 16, f.data()), 0);
    EXPECT_EQ(f, (Field{0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0x00, 0xEE, 0xEE, 0xEE, 0xEE,
                        0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(Double_to_Bcd(-1.9, 0, 16, f.data()), 0);  // cut toward zero
    EXPECT_EQ(f[0], 0xFF);
    EXPECT_EQ(f[5], 0xFF);
    EXPECT_EQ(f[6], 0x00);
    for (double bad : {double(NAN), double(INFINITY), -double(INFINITY), 1e300}) {
        EXPECT_EQ(Double_to_Bcd(bad, 0, 16, f.data()), 0);
        EXPECT_EQ(f[0] | f[1] | f[2] | f[3] | f[4] | f[5], 0) << bad;
    }
}

TEST(IntToBcd, DecimalDigitsBecomeNibbles) {
    unsigned v = 1;
    const std::pair<int, unsigned> cases[] = {
        {0, 0},           {12, 0x12},      {1234, 0x1234},  {99999999, 0x99999999},
        {123456789, 0x23456789},  // only the last eight digits fit
        {-1234, 0u - 0x1234},     {INT_MIN, 0u - 0x47483648}};
    for (auto [in, want] : cases) {
        EXPECT_EQ(int_to_Bcd(in, &v), 0);
        EXPECT_EQ(v, want) << in;
    }
}

TEST(BcdToDoubleChar, NibblesWithPointAndBlankLeadingZero) {
    const std::pair<Field, std::string> cases[] = {
        {{0x11, 0x01, 0x23, 0x45}, "- 1234.5"}, {{0x20, 0x01, 0x23, 0x45}, "  123.45"},
        {{0x00, 0x01, 0x23, 0x45}, "  12345"},  {{0x50, 0x01, 0x23, 0x45}, "  .12345"},
        {{0x60, 0x01, 0x23, 0x45}, " .012345"},
    };
    for (const auto& [f, want] : cases) EXPECT_EQ(to_double_char(f, 6), want) << +f[0];
    EXPECT_EQ(to_double_char(Field{0x10, 0xAB, 0xCD}, 4), " ABC.D");  // no digit check: letters pass through
}

// Every value a field of the count and places can hold survives
// double -> field -> double and field -> text, and fields survive the reverse.
TEST(RoundTrip, AllCountsAndPlaces) {
    std::mt19937_64 rng(7);
    for (int digits : {6, 8, 10}) {
        const long long limit = static_cast<long long>(std::pow(10.0, digits));
        for (int d = 0; d <= digits; ++d) {
            const double scale = std::pow(10.0, d);
            for (int k = 0; k < 400; ++k) {
                long long n = k < 4 ? (k < 2 ? k : limit - 1) : static_cast<long long>(rng() % limit);
                if ((k & 1) && d < digits) n = -n;  // see SignLostWithoutIntegerDigits
                const double value = static_cast<double>(n) / scale;
                Field f{};
                ASSERT_EQ(Double_to_Bcd(value, d << 8, digits, f.data()), 0);
                double back = 0;
                ASSERT_EQ(Bcd_to_Double(f.data(), digits, &back), 0);
                ASSERT_EQ(back, value) << digits << "/" << d << " " << n;
                std::string text = to_double_char(f, digits);
                std::erase(text, ' ');
                ASSERT_EQ(std::strtod(text.c_str(), nullptr), value) << text;

                Field raw{};
                raw[0] = static_cast<unsigned char>(d << 4 | ((k & 1) && d < digits));
                for (int b = 1; b <= digits / 2; ++b)
                    raw[b] = static_cast<unsigned char>(rng() % 10 << 4 | rng() % 10);
                ASSERT_EQ(Bcd_to_Double(raw.data(), digits, &back), 0);
                if (back == 0) raw[0] &= 0xF0;  // minus zero writes without sign
                ASSERT_EQ(Double_to_Bcd(back, d << 8, digits, f.data()), 0);
                ASSERT_EQ(f, raw);
            }
        }
    }
}

// With no integer digits the magnitude's leading "0" lands on the sign, and
// the field then takes its pairs one digit off.
TEST(RoundTrip, SignLostWithoutIntegerDigits) {
    EXPECT_EQ(to_char(-0.000001, 0x600, 6), "0.000001");
    Field f{};
    EXPECT_EQ(Double_to_Bcd(-0.123456, 0x600, 6, f.data()), 0);
    EXPECT_EQ(f, (Field{0x60, 0x01, 0x23, 0x45}));  // reads back as 0.012345
}

TEST(RoundTrip, Digits16UpTo40Bits) {
    std::mt19937_64 rng(11);
    for (int k = 0; k < 100000; ++k) {
        const std::uint64_t n = k < 41 ? (std::uint64_t{1} << k) - 1 : rng() & 0xFFFFFFFFFF;
        Field f{};
        ASSERT_EQ(Double_to_Bcd(static_cast<double>(n), 0, 16, f.data()), 0);
        double back = -1;
        ASSERT_EQ(Bcd_to_Double(f.data(), 16, &back), 0);
        ASSERT_EQ(back, static_cast<double>(n));
    }
}

// Hostile arguments: no crash, no overrun of the documented buffer sizes
// (checked by the sanitizer build), only the documented result codes.
TEST(Hostile, NoCrashNoOverrun) {
    const double values[] = {NAN, -NAN, INFINITY, -INFINITY, 1e300, -1e300, DBL_MAX,
                             -0.0, 5e-324, 123.456};
    const int codes[] = {0, 0x100, 0xF00, -1, INT_MIN, INT_MAX};
    const int counts[] = {0, -1, 6, 10, 15, 16, 25, 65542, INT_MIN, INT_MAX};
    for (int print = 0; print <= 1; ++print) {
        tav::frame::switches().printForm = print;
        for (double v : values)
            for (int code : codes)
                for (int digits : counts) {
                    auto text = std::make_unique<char[]>(kTextMax);
                    const short rc = Double_to_Char(v, code, digits, text.get());
                    EXPECT_TRUE(rc == 0 || (rc == TAV_E_RANGE && text[0] == '\0'));
                    EXPECT_LT(std::strlen(text.get()), kTextMax);
                    auto field = std::make_unique<unsigned char[]>(kBcdFieldMax);
                    const short rb = Double_to_Bcd(v, code, digits, field.get());
                    EXPECT_TRUE(rb == 0 || rb == TAV_E_RANGE);
                }
    }
    tav::frame::switches().printForm = 0;
    EXPECT_EQ(to_char(1e300, 0x200, 8).size(), 9u);
    EXPECT_EQ(to_char(-INFINITY, 0x100, 6).size(), 8u);

    std::mt19937 rng(3);
    for (int k = 0; k < 2000; ++k) {
        auto field = std::make_unique<unsigned char[]>(kBcdFieldMax);
        for (std::size_t b = 0; b < kBcdFieldMax; ++b) field[b] = static_cast<unsigned char>(rng());
        const int digits = counts[k % std::size(counts)];
        double v = 0;
        const short rc = Bcd_to_Double(field.get(), digits, &v);
        EXPECT_TRUE(rc == 0 || rc == TAV_E_NOT_BCD);
        auto text = std::make_unique<char[]>(kTextMax);
        EXPECT_EQ(Bcd_to_DoubleChar(field.get(), digits, text.get()), 0);
        EXPECT_LT(std::strlen(text.get()), kTextMax);
    }
}

// Fields of exactly the documented size, with every header byte: the
// sanitizer build catches a byte read or written past the end.
TEST(Hostile, ExactFieldSizesAreEnough) {
    const std::pair<int, std::size_t> sizes[] = {{6, 4}, {8, 5}, {10, 6}, {16, 6}};
    for (auto [digits, size] : sizes)
        for (int header = 0; header < 256; ++header) {
            auto field = std::make_unique<unsigned char[]>(digits == 16 ? 9 : size);
            field[0] = static_cast<unsigned char>(header);
            double v;
            Bcd_to_Double(field.get(), digits, &v);
            char text[kTextMax];
            Bcd_to_DoubleChar(field.get(), digits, text);
            auto out = std::make_unique<unsigned char[]>(digits == 16 ? 7 : size);
            EXPECT_EQ(Double_to_Bcd(-123.456, (header & 0xF0) << 4, digits, out.get()),
                      (header >> 4) > digits ? TAV_E_RANGE : 0);
        }
}

TEST(Exports, NullPointersGiveParameterError) {
    void* lib = dlopen(TAV_BUILD_DIR "/lib/libTav_acs.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto b2d = reinterpret_cast<decltype(&srvTav_Bcd_to_Double)>(dlsym(lib, "srvTav_Bcd_to_Double"));
    auto d2c = reinterpret_cast<decltype(&srvTav_Double_to_Char)>(dlsym(lib, "srvTav_Double_to_Char"));
    auto d2b = reinterpret_cast<decltype(&srvTav_Double_to_Bcd)>(dlsym(lib, "srvTav_Double_to_Bcd"));
    auto i2b = reinterpret_cast<decltype(&srvTav_int_to_Bcd)>(dlsym(lib, "srvTav_int_to_Bcd"));
    auto b2c = reinterpret_cast<decltype(&srvTav_Bcd_to_DoubleChar)>(dlsym(lib, "srvTav_Bcd_to_DoubleChar"));
    ASSERT_TRUE(b2d && d2c && d2b && i2b && b2c);
    const unsigned char field[kBcdFieldMax] = {0x11, 0x01, 0x23, 0x45};
    double v = 0;
    EXPECT_EQ(b2d(nullptr, 6, &v), TAV_E_PARAMETER);
    EXPECT_EQ(b2d(field, 6, nullptr), TAV_E_PARAMETER);
    EXPECT_EQ(d2c(1.0, 0, 6, nullptr), TAV_E_PARAMETER);
    EXPECT_EQ(d2b(1.0, 0, 6, nullptr), TAV_E_PARAMETER);
    EXPECT_EQ(i2b(1, nullptr), TAV_E_PARAMETER);
    EXPECT_EQ(b2c(nullptr, 6, nullptr), TAV_E_PARAMETER);
    EXPECT_EQ(b2d(field, 6, &v), 0);  // and the real work goes through
    EXPECT_EQ(v, -1234.5);
    dlclose(lib);
}
