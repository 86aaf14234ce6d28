#include "host/core/edits.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "host/core/numbers.h"

namespace tavhost::core {

namespace {

constexpr int kExtDigits = 10;  // an extended parameter travels as 10 BCD digits

int places_of(unsigned attr) { return static_cast<int>((attr >> 8) & 0xFu); }

// A bound as the record shows it: with its decimal places, or hexadecimal.
std::string bound_text(double value, unsigned attr, bool hex) {
    char text[64];
    if (hex) std::snprintf(text, sizeof text, "%lXH", static_cast<unsigned long>(static_cast<long>(value)));
    else std::snprintf(text, sizeof text, "%.*f", places_of(attr), value);
    return text;
}

std::string fixed(double value, int places) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", places, value);
    return text;
}

// A value in low..high with at most `places` places, or the refusal naming it.
Outcome check_field(int no, Msg field, double value, double low, double high, int places) {
    Outcome r;
    if (value < low || value > high)
        r = failure(TAV_E_RANGE, Msg::PointValueOutOfRange,
                    {std::to_string(no), "", real_text(value), fixed(low, places), fixed(high, places)});
    else if (!fits_places(value, places))
        r = failure(TAV_E_RANGE, Msg::PointValueTooManyPlaces,
                    {std::to_string(no), "", real_text(value), std::to_string(places)});
    r.field = field;
    return r;
}

// A mode or code in 0..last of its table.
Outcome check_mode(int no, Msg field, int value, int last) {
    if (value >= 0 && value <= last) return success();
    Outcome r = failure(TAV_E_RANGE, Msg::PointModeOutOfTable,
                        {std::to_string(no), "", std::to_string(value), "0", std::to_string(last)});
    r.field = field;
    return r;
}

}  // namespace

int ext_places(unsigned attr) { return (attr & 0x0002u) != 0 ? 0 : places_of(attr); }

Outcome check_ext_value(NewParaSet* set, int no, double value) {
    NewParaRecord r;
    const int code = srvTav_NewPara_Dat_Rd(set, no, &r);
    if (code != 0) return failure(code, Msg::ParameterAbsent, {std::to_string(no)});
    const unsigned attr = r.wAttr;
    const bool hex = (attr & 0x0002u) != 0;
    const int places = hex ? 0 : places_of(attr);
    const std::string name = utf8_of(r.szName);
    const double low = r.dMin, high = r.dMax;
    if (value < low || value > high)
        return failure(TAV_E_RANGE, Msg::ValueOutOfRange,
                       {std::to_string(no), name, real_text(value), bound_text(low, attr, hex), bound_text(high, attr, hex)});
    if (!fits_places(value, places))
        return failure(TAV_E_RANGE, Msg::ValueTooManyPlaces,
                       {std::to_string(no), name, real_text(value), std::to_string(places)});
    // The range of a definition may be wider than the field that carries it.
    if (std::fabs(value) >= std::pow(10.0, kExtDigits - places))
        return failure(TAV_E_RANGE, Msg::ValueTooWide,
                       {std::to_string(no), name, real_text(value), std::to_string(kExtDigits - places)});
    return success();
}

Outcome change_ext(NewParaSet* set, int no, double value) {
    if (Outcome r = check_ext_value(set, no, value); !r.ok()) return r;
    const int code = srvTav_NewPara_Dat_Chg(set, no, value);
    return code == 0 ? success() : failure(code, Msg::ChangeFailed, {std::to_string(no)});
}

int para_places(unsigned attr) { return places_of(attr); }

Outcome check_para_value(ParaSet* set, int no, double value) {
    ParaRecord r;
    const int code = srvTav_Para_Dat_Rd(set, no, &r);
    if (code != 0) return failure(code, Msg::ParameterAbsent, {std::to_string(no)});
    const unsigned attr = r.wAttr;
    const int places = places_of(attr);
    const std::string name = utf8_of(r.szName);
    // Symmetric ranges (attribute bit 2) hold for the magnitude.
    const double compared = (attr & 0x0004u) != 0 && value < 0 ? -value : value;
    if (compared < r.dMin || compared > r.dMax)
        return failure(TAV_E_RANGE, Msg::ValueOutOfRange,
                       {std::to_string(no), name, real_text(value), bound_text(r.dMin, attr, false),
                        bound_text(r.dMax, attr, false)});
    if (!fits_places(value, places))
        return failure(TAV_E_RANGE, Msg::ValueTooManyPlaces,
                       {std::to_string(no), name, real_text(value), std::to_string(places)});
    return success();
}

Outcome change_para(ParaSet* set, int no, double value) {
    if (Outcome r = check_para_value(set, no, value); !r.ok()) return r;
    const int code = srvTav_Para_Dat_Chg(set, no, value);
    if (code == TAV_E_RANGE) {
        ParaRecord r;
        srvTav_Para_Dat_Rd(set, no, &r);
        return failure(code, Msg::ValueOutOfRange,
                       {std::to_string(no), utf8_of(r.szName), real_text(value), bound_text(r.dMin, r.wAttr, false),
                        bound_text(r.dMax, r.wAttr, false)});
    }
    return code == 0 ? success() : failure(code, Msg::ChangeFailed, {std::to_string(no)});
}

Outcome check_point(int no, const PointValues& v, unsigned stopPosDp, unsigned stopTimeDp, bool vv) {
    if (stopPosDp > 5 || stopTimeDp > 1) return failure(TAV_E_DECIMAL_MISMATCH, Msg::TableDecimalsBroken, {});
    static constexpr double kPosBound[] = {2000000000.0, 200000000.0, 20000000.0, 2000000.0, 200000.0, 20000.0};
    const int posDp = static_cast<int>(stopPosDp), timeDp = static_cast<int>(stopTimeDp) + 2;
    const double pos = kPosBound[stopPosDp];
    const double timer = stopTimeDp == 0 ? 655.35 : 65.535;
    const Outcome checks[] = {
        check_mode(no, Msg::FieldCommandMethod, v.cmdMode, 1),
        check_mode(no, Msg::FieldStepMode, v.stepMode, 3),
        check_field(no, Msg::FieldStopPosition, v.stopPos, -pos, pos, posDp),
        check_field(no, Msg::FieldSpeed, v.speed, 0.0, 7999.99, 2),
        vv ? check_field(no, Msg::FieldAccel, v.accel, 0.0, 99999.9, 1) : success(),
        vv ? check_field(no, Msg::FieldDecel, v.decel, 0.0, 99999.9, 1) : success(),
        check_field(no, Msg::FieldStopTimer, v.stopTimer, 0.0, timer, timeDp),
        check_mode(no, Msg::FieldMCode, v.mCode, 255),
        check_mode(no, Msg::FieldMValid, v.mValid, 1),
        check_mode(no, Msg::FieldMTiming, v.mTiming, 1),
    };
    for (const Outcome& r : checks)
        if (!r.ok()) return r;
    return success();
}

Outcome change_point(ItiDatSet* set, int no, const PointValues& v, bool insert) {
    const int count = set->nPointCount;
    if (no < 1 || no > count) return failure(TAV_E_PARAMETER, Msg::PointAbsent, {std::to_string(no), std::to_string(count)});
    if (Outcome r = check_point(no, v, set->wStopPosDp, set->wStopTimeDp, false); !r.ok()) return r;
    auto fn = insert ? srvTav_ItiDat_Insert : srvTav_ItiDat_Chg;
    const int code = fn(set, no, v.cmdMode, v.stepMode, v.stopPos, v.speed, v.stopTimer, v.mCode, v.mValid, v.mTiming);
    return code == 0 ? success() : failure(code, Msg::PointChangeFailed, {std::to_string(no)});
}

Outcome change_vv_point(ItiVvDatSet* set, int no, const PointValues& v, bool insert) {
    const int count = set->nPointCount;
    if (no < 1 || no > count) return failure(TAV_E_PARAMETER, Msg::PointAbsent, {std::to_string(no), std::to_string(count)});
    if (Outcome r = check_point(no, v, set->wStopPosDp, set->wStopTimeDp, true); !r.ok()) return r;
    auto fn = insert ? srvTav_ItiVvDat_Insert : srvTav_ItiVvDat_Chg;
    const int code = fn(set, no, v.cmdMode, v.stepMode, v.stopPos, v.speed, v.accel, v.decel, v.stopTimer, v.mCode,
                        v.mValid, v.mTiming);
    return code == 0 ? success() : failure(code, Msg::PointChangeFailed, {std::to_string(no)});
}

int model_number(const std::string& text) {
    int number = -1;
    if (parse_int(text, 0, 5, number)) return number;
    const int byName = srvGet_ModelNumberFromName(text.c_str());
    return byName >= 0 ? byName : -1;
}

}  // namespace tavhost::core
