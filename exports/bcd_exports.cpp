// Exported BCD and numeric-text conversions: null checks, then tav::bcd.
#include "Tav_acs.h"
#include "bcd/bcd.h"

namespace {
// A missing buffer is an argument outside its allowed values.
constexpr short kNullArgument = TAV_E_PARAMETER;
// Nothing below throws; a stray exception still must not reach a C caller.
constexpr short kUnexpected = TAV_E_MEMORY_ERROR;
}  // namespace

extern "C" TAV_API short srvTav_Bcd_to_Double(const unsigned char* bcd, int digits, double* out) {
    if (!bcd || !out) return kNullArgument;
    try {
        return tav::bcd::Bcd_to_Double(bcd, digits, out);
    } catch (...) {
        return kUnexpected;
    }
}

extern "C" TAV_API short srvTav_Double_to_Char(double value, int code, int digits, char* out) {
    if (!out) return kNullArgument;
    try {
        return tav::bcd::Double_to_Char(value, code, digits, out);
    } catch (...) {
        return kUnexpected;
    }
}

extern "C" TAV_API short srvTav_Double_to_Bcd(double value, int code, int digits, unsigned char* out) {
    if (!out) return kNullArgument;
    try {
        return tav::bcd::Double_to_Bcd(value, code, digits, out);
    } catch (...) {
        return kUnexpected;
    }
}

extern "C" TAV_API short srvTav_int_to_Bcd(int value, unsigned int* out) {
    if (!out) return kNullArgument;
    try {
        return tav::bcd::int_to_Bcd(value, out);
    } catch (...) {
        return kUnexpected;
    }
}

extern "C" TAV_API short srvTav_Bcd_to_DoubleChar(const unsigned char* bcd, int digits, char* out) {
    if (!bcd || !out) return kNullArgument;
    try {
        return tav::bcd::Bcd_to_DoubleChar(bcd, digits, out);
    } catch (...) {
        return kUnexpected;
    }
}
