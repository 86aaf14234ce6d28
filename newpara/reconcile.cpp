// Decimal-point and motor reconciliation: adapts limits, scale and range
// texts of an extended parameter set to its decimal-position parameter
// ("SS") and to the connected motor and encoder.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "bcd/bcd.h"
#include "frame/frame.h"
#include "line/line.h"
#include "newpara/newpara.h"
#include "platform/platform.h"
#include "text/text.h"

namespace tav::newpara {

namespace {

constexpr double kScale[] = {1, 0.1, 0.01, 0.001, 0.0001, 0.00001};

// Maxima of the encoder classes 5-8, by encoder code.
constexpr double kEncoder[10][4] = {
    {16384, 65535, 1, 65536},       {262144, 1048575, 1, 1048576}, {16384, 65535, 1, 65536},
    {262144, 1048575, 0, 1048576},  {262144, 1048575, 0, 1048576}, {262144, 1048575, 0, 1048576},
    {65536, 262143, 0, 262144},     {262144, 1048575, 0, 1048576}, {32768, 131071, 1, 131072},
    {32768, 131071, 1, 131072},
};

struct Limits {
    double speed, torque, inertia;
};
// The special rows of the motor characteristics.
constexpr Limits kRow1{5000, 300, 300}, kRow2{3000, 300, 30}, kRow3{5000, 300, 300}, kRow4{5000, 300, 100};

Limits table_row(unsigned series) {
    Limits l{};
    line::Motor_Info_Rd(static_cast<unsigned char>(series > 255 ? 255 : series), &l.speed, &l.torque, &l.inertia);
    return l;
}

// Setting a limit: an initial value at the old maximum follows the new one.
void set_limit(NewParaRecord& r, double x, bool valueFollows) {
    if (r.dInitial == r.dMax) {
        r.dInitial = x;
        if (valueFollows) r.dValue = x;
    }
    r.dMax = x;
}

void apply_motor(NewParaRecord& r, int cls, unsigned enc, unsigned series) {
    const bool encHigh = enc == 8 || enc == 9;
    const bool series67 = series == 6 || series == 7;
    switch (cls) {
    case 2:  // maximum speed
        if (encHigh) set_limit(r, series67 ? kRow2.speed : kRow1.speed, true);
        else if (enc == 0 && series == 1) set_limit(r, kRow3.speed, true);
        else if (enc == 0 && series == 6) set_limit(r, kRow4.speed, true);
        else set_limit(r, table_row(series).speed, series <= 9);  // beyond the table: the column maximum
        break;
    case 3:  // maximum torque
        if (series > 9) break;
        if (series == 7 && enc == 9) {
            r.dInitial = r.dMax = 240;
            if (r.dValue > 240) r.dValue = 240;
        } else {
            set_limit(r, table_row(series).torque, false);
        }
        break;
    case 4: {  // load-inertia ratio; its initial value is 1
        double x = 0;
        if (encHigh) x = series67 ? kRow2.inertia : kRow1.inertia;
        else if (enc == 0 && series == 1) x = kRow3.inertia;
        else if (enc == 0 && series == 6) x = kRow4.inertia;
        else if (series <= 9) x = table_row(series).inertia;
        else break;
        r.dMax = x;
        r.dInitial = 1;
        break;
    }
    case 5: case 6: case 7: case 8:
        if (enc <= 9) r.dMax = kEncoder[enc][cls - 5];
        break;
    default:
        break;
    }
}

// The digits of v kept, its decimal point moved to d places.
double with_places(double v, unsigned attr, int d) {
    unsigned char b[bcd::kBcdFieldMax] = {};
    // The digits come from the zero-padded form, whoever has print form on.
    const int saved = frame::switches().printForm;
    frame::switches().printForm = 0;
    const short code = bcd::Double_to_Bcd(v, static_cast<int>(attr), 10, b);
    frame::switches().printForm = saved;
    if (code != 0) return v;
    b[0] = static_cast<unsigned char>((b[0] & 0x0F) | (d << 4));
    double out = 0;
    bcd::Bcd_to_Double(b, 10, &out);
    return out;
}

// A limit as the range text shows it; the formatter's result is passed back.
short limit_text(double v, unsigned attr, std::string& out) {
    char buf[bcd::kTextMax] = {};
    short code = 0;
    // Range texts are shown without padding: the formatter runs in print form.
    const int saved = frame::switches().printForm;
    frame::switches().printForm = 1;
    if ((attr & 0x0002) != 0) {
        tavplat::format_text(buf, sizeof buf, "%10llXH", static_cast<unsigned long long>(truncated(v)));
    } else {
        code = bcd::Double_to_Char(v, static_cast<int>(attr), 10, buf);
    }
    frame::switches().printForm = saved;
    const char* p = buf;
    while (*p == ' ') ++p;
    out = p;
    return code;
}

bool is_one_of(int code, std::initializer_list<int> codes) {
    for (int c : codes)
        if (c == code) return true;
    return false;
}

}  // namespace

bool format_with_one_text(const char* format, const char* arg, char* out, std::size_t size) {
    // Only "%%" and one string conversion with optional flags, width and
    // precision are accepted; anything else leaves the comment unformatted.
    std::string result;
    int strings = 0;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            result += *p;
            continue;
        }
        ++p;
        if (*p == '%') {
            result += '%';
            continue;
        }
        bool left = false;
        for (; *p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0'; ++p)
            if (*p == '-') left = true;
        int width = 0, precision = -1;
        while (std::isdigit(static_cast<unsigned char>(*p)) && width < 1000) width = width * 10 + (*p++ - '0');
        if (*p == '.') {
            ++p;
            precision = 0;
            while (std::isdigit(static_cast<unsigned char>(*p)) && precision < 1000) precision = precision * 10 + (*p++ - '0');
        }
        if (*p != 's' || ++strings > 1) return false;
        std::string a = arg;
        if (precision >= 0 && a.size() > static_cast<std::size_t>(precision)) a.resize(static_cast<std::size_t>(precision));
        const std::string pad(a.size() < static_cast<std::size_t>(width) ? width - a.size() : 0, ' ');
        result += left ? a + pad : pad + a;
    }
    if (strings != 1) return false;
    tavplat::copy_text(out, size, result.c_str());
    return true;
}

short NewPara_Syousuh_Chg(NewParaSet* set, int rescaleValues, int rebuildTexts, int markChanged, int applyMotor) {
    const std::string tilde = text::Text(10016);
    const std::string unused = text::Text(10010);
    const std::string labelSpeed = text::Text(10037), labelTorque = text::Text(10038), labelInertia = text::Text(10042);

    int d = 0;
    int ssNo = 0;
    if (NewPara_Skubun_No_Rd(set, kSS, 0, &ssNo) == TAV_OK && set->para[ssNo - 1].wAttr != 0) {
        const long long v = truncated(set->para[ssNo - 1].dValue);
        d = v < -1 ? -1 : v > 6 ? 6 : static_cast<int>(v);
    }
    if (d < 0 || d > 5) {
        const int forced = frame::switches().forcedDecimal;
        if (forced >= 0 && forced <= 5) {
            d = forced;
            frame::tracef("NewPara: decimal position forced [%d]", d);
        } else {
            frame::tracef("NewPara: decimal position out of range (= %d), 0.00001 (=5) used", d);
            d = 5;
        }
    }
    const double scale = kScale[d];

    short result = 0;
    const unsigned enc = set->byInfo14, series = set->byInfo10;
    const int count = std::min(int{set->nParaCount}, kParaCount);  // int{}: a copy, the set is packed
    for (int i = 0; i < count; ++i) {
        NewParaRecord& r = set->para[i];
        const int code = code_number(r.szIdCode);
        const bool follows = (r.wAttr & 0x0010) != 0;
        int cls = 1;
        bool rescale = follows;
        bool blank = false;
        switch (code) {
        case kKK: cls = 2; rescale = false; break;
        case kTT: cls = 3; rescale = false; break;
        case kFF: cls = 4; rescale = false; break;
        case kOP: cls = 5; rescale = false; break;
        case kZO: cls = 6; rescale = false; break;
        case kHK: cls = 7; rescale = false; break;
        case kIP: cls = 8; rescale = false; break;
        case kSC: cls = 9; break;
        case kSS: cls = 0; rescale = false; break;
        case kC1: case kC2: case kO1:
            blank = set->byInfo7 == 0 && set->byInfo8 == 0;
            break;
        case kO2:
            blank = (set->byInfo7 == 0 && set->byInfo8 == 0) || set->byInfo7 == 1;
            break;
        default:
            break;
        }
        if (applyMotor != 0) apply_motor(r, cls, enc, series);
        if (blank) {
            tavplat::copy_text(r.szName, unused.c_str());
            r.wAttr = 0;
            r.dInitial = r.dMax = r.dMin = r.dScale = 0;
        } else if (rescale) {
            r.dInitial = with_places(r.dInitial, r.wAttr, d);
            r.dMax = with_places(r.dMax, r.wAttr, d);
            r.dMin = with_places(r.dMin, r.wAttr, d);
            r.dScale = scale;
            if (rescaleValues == 1) {
                r.dValue = with_places(r.dValue, r.wAttr, d);
                if (markChanged == 1) r.nChgFlag = 1;
            }
            r.wAttr = static_cast<uint16_t>((r.wAttr & 0x00FF) | (d << 8));
        }
        if (rebuildTexts != 1) continue;

        const bool noNote = r.szNote[0] == '\0';
        if (noNote && (is_one_of(code, {kDD, kNN, kZZ, kSS}) || (!rescale && (code == kS2 || r.dMax == 0)))) continue;
        if (rescale && is_one_of(code, {kC0, kC1, kC2, kO0, kO1, kO2, kZZ})) continue;

        std::string lo, hi;
        limit_text(r.dMin, r.wAttr, lo);
        result = limit_text(r.dMax, r.wAttr, hi);
        const char* note = r.szNote;
        char* out = r.szItemComment;
        const std::size_t size = sizeof r.szItemComment;
        if (rescale && r.szNote[0] == '-') {
            tavplat::format_text(out, size, "%s%s%s", lo.c_str(), tilde.c_str(), hi.c_str());
        } else if (cls == 1) {
            tavplat::format_text(out, size, "%s%s%s %s", lo.c_str(), tilde.c_str(), hi.c_str(), note);
        } else if (cls >= 2 && cls <= 4) {
            const std::string& label = cls == 2 ? labelSpeed : cls == 3 ? labelTorque : labelInertia;
            tavplat::format_text(out, size, "%s%s%s%s %s", lo.c_str(), tilde.c_str(), label.c_str(), hi.c_str(), note);
        } else if (cls == 5 || cls == 8) {
            // The definition's comment carries the place of the maximum; one
            // whose conversions do not fit gets the plain range instead.
            if (!format_with_one_text(r.szItemCommentBase, hi.c_str(), out, size))
                tavplat::format_text(out, size, "%s%s%s", lo.c_str(), tilde.c_str(), hi.c_str());
        } else if (cls == 9) {
            // The smallest setting is one step above the minimum.
            std::string step;
            result = limit_text(r.dMin + r.dScale, r.wAttr, step);
            char base[sizeof r.szItemCommentBase];
            tavplat::copy_text(base, r.szItemCommentBase);
            tavplat::format_text(out, size, "%s%s%s%s %s", base, step.c_str(), tilde.c_str(), hi.c_str(), note);
        } else {
            tavplat::format_text(out, size, "%s%s%s", lo.c_str(), tilde.c_str(), hi.c_str());
        }
    }
    return result;
}

}  // namespace tav::newpara
