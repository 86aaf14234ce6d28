#include "host/core/data_sets.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "host/core/definitions.h"
#include "host/core/edits.h"
#include "host/core/numbers.h"
#include "host/core/texts.h"
#include "host/core/transfer.h"

namespace tavhost::core {

namespace {

constexpr int kMaxStandard = 99;
constexpr int kMaxExtended = 297;

bool ends_with(const std::string& text, const char* ext) {
    const std::size_t n = std::strlen(ext);
    return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, ext) == 0;
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}


// The value formatter's fixed-width text without its leading zeros:
// "000000008.0" -> "8.0", "-0000012" -> "-12", "0000000000" -> "0".
std::string without_leading_zeros(const std::string& text) {
    std::string t = trimmed(text);
    std::string sign;
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        if (t[0] == '-') sign = "-";
        t.erase(0, 1);
    }
    std::size_t z = 0;
    while (z + 1 < t.size() && t[z] == '0' && t[z + 1] != '.') ++z;
    return sign + t.substr(z);
}

std::string fixed(double value, int places) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", places, value);
    return text;
}

template <class Point>
Item point_item(int no, const Point& p) {
    Item it;
    it.no = no;
    it.values = {static_cast<double>(p.nCmdMode), static_cast<double>(p.nStepMode), p.dStopPos, p.dSpeed};
    if constexpr (requires { p.dAccelTime; }) {
        // Copied first: the set is packed, a reference to its field would be misaligned.
        it.values.push_back(static_cast<double>(p.dAccelTime));
        it.values.push_back(static_cast<double>(p.dDecelTime));
    }
    it.values.insert(it.values.end(), {static_cast<double>(p.dStopTimer), static_cast<double>(p.nMCode),
                                       static_cast<double>(p.nMValid), static_cast<double>(p.nMTiming)});
    it.changed = p.nChgFlag != 0;
    it.result = p.nStatus;
    return it;
}

template <class Record>
Item parameter_item(int no, const Record& r) {
    Item it;
    it.no = no;
    it.code = utf8_of(r.szIdCode);
    it.name = utf8_of(r.szName);
    it.unit = utf8_of(r.szNote);
    it.values = {r.dValue};
    it.min = r.dMin;
    it.max = r.dMax;
    it.initial = r.dInitial;
    it.attr = r.wAttr;
    it.changed = r.nChgFlag != 0;
    it.result = r.nResult;
    return it;
}

PointValues point_values(const Item& it, bool vv) {
    const std::vector<double>& v = it.values;
    PointValues p;
    const std::size_t t = vv ? 6 : 4;  // where the stop timer is
    p.cmdMode = static_cast<int>(v[0]);
    p.stepMode = static_cast<int>(v[1]);
    p.stopPos = v[2];
    p.speed = v[3];
    if (vv) p.accel = v[4], p.decel = v[5];
    p.stopTimer = v[t];
    p.mCode = static_cast<int>(v[t + 1]);
    p.mValid = static_cast<int>(v[t + 2]);
    p.mTiming = static_cast<int>(v[t + 3]);
    return p;
}

}  // namespace

const char* kind_word(SetKind kind) {
    switch (kind) {
        case SetKind::Standard: return "standard";
        case SetKind::Extended: return "extended";
        case SetKind::Positioning: return "positioning";
        case SetKind::Vv: return "vv";
    }
    return "";
}

bool kind_from_word(const std::string& word, SetKind& kind) {
    for (SetKind k : {SetKind::Standard, SetKind::Extended, SetKind::Positioning, SetKind::Vv})
        if (word == kind_word(k)) {
            kind = k;
            return true;
        }
    return false;
}

void* DataSet::cancel() {
    switch (kind) {
        case SetKind::Standard: return cancel_field(standard.get());
        case SetKind::Extended: return cancel_field(extended.get());
        case SetKind::Positioning: return cancel_field(positioning.get());
        case SetKind::Vv: return cancel_field(vv.get());
    }
    return nullptr;
}

std::string DataSet::amp_no() const {
    switch (kind) {
        case SetKind::Standard: return standard->szAmpNo;
        case SetKind::Extended: return extended->szAmpNo;
        case SetKind::Positioning: return positioning->szAmpNo;
        case SetKind::Vv: return vv->szAmpNo;
    }
    return "";
}

std::string DataSet::read_date() const {
    switch (kind) {
        case SetKind::Standard: return standard->szReadDate;
        case SetKind::Extended: return extended->szReadDate;
        case SetKind::Positioning: return positioning->szReadDate;
        case SetKind::Vv: return vv->szReadDate;
    }
    return "";
}

DataSet make_set(SetKind kind, int page) {
    DataSet s;
    s.kind = kind;
    s.page = page;
    switch (kind) {
        case SetKind::Standard: s.standard = std::make_unique<ParaSet>(); break;
        case SetKind::Extended: s.extended = std::make_unique<NewParaSet>(); break;
        case SetKind::Positioning: s.positioning = std::make_unique<ItiDatSet>(); break;
        case SetKind::Vv: s.vv = std::make_unique<ItiVvDatSet>(); break;
    }
    return s;
}

int last_parameter_number(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    int last = 0;
    while (std::getline(in, line)) {
        const std::size_t comma = line.find(',');
        int no = 0;
        if (comma != std::string::npos && parse_int(trimmed(line.substr(0, comma)), 1, 999, no) && no > last) last = no;
    }
    return last;
}

int page_of_file(const std::string& path) {
    if (path.size() < 4) return 0;
    const char* ext = path.c_str() + path.size() - 4;
    if (strcasecmp(ext, ".syp") == 0) return 1;
    if (strcasecmp(ext, ".hsp") == 0) return 2;
    return 0;
}

bool kind_of_file(const std::string& path, SetKind& kind, int& page) {
    page = 0;
    if (ends_with(path, ".k7l")) return kind = SetKind::Positioning, true;
    if (ends_with(path, ".k7v") || ends_with(path, ".m7v")) return kind = SetKind::Vv, true;
    page = page_of_file(path);
    if (page == 0 && !ends_with(path, ".k7p") && !ends_with(path, ".m7p")) return false;
    kind = last_parameter_number(path) > kMaxStandard || ends_with(path, ".m7p") ? SetKind::Extended : SetKind::Standard;
    return true;
}

int load_set(const std::string& path, DataSet& s) {
    switch (s.kind) {
        case SetKind::Standard: return with_operator_definitions([&] { return srvTav_Para_ComRd(path.c_str(), nullptr, s.page, s.standard.get()); });
        case SetKind::Extended: return srvTav_NewPara_ComRd(path.c_str(), nullptr, s.page, s.extended.get(), 0, 0);
        case SetKind::Positioning: return srvTav_ItiDatFil_Rd(path.c_str(), s.positioning.get());
        case SetKind::Vv: return srvTav_ItiVvDatFil_Rd(path.c_str(), s.vv.get());
    }
    return TAV_E_PARAMETER;
}

int save_set(DataSet& s, const std::string& path) {
    switch (s.kind) {
        case SetKind::Standard:
            srvTav_Para_FileName_Chg(s.standard.get(), path.c_str());
            return with_operator_definitions([&] { return srvTav_Para_ComWt(path.c_str(), nullptr, 0, 0, s.standard.get()); });
        case SetKind::Extended:
            srvTav_NewPara_FileName_Chg(s.extended.get(), path.c_str());
            return srvTav_NewPara_ComWt(path.c_str(), nullptr, 0, 0, s.extended.get());
        case SetKind::Positioning: return srvTav_ItiDatFil_Wt(path.c_str(), s.positioning.get());
        case SetKind::Vv: return srvTav_ItiVvDatFil_Wt(path.c_str(), s.vv.get());
    }
    return TAV_E_PARAMETER;
}

int read_from_device(DataSet& s, const std::string& amp) {
    switch (s.kind) {
        case SetKind::Standard: return with_operator_definitions([&] { return srvTav_Para_ComRd(nullptr, amp.c_str(), s.page, s.standard.get()); });
        case SetKind::Extended: return srvTav_NewPara_ComRd(nullptr, amp.c_str(), s.page, s.extended.get(), 0, 0);
        case SetKind::Positioning: return srvTav_ItiDat_ComRd(nullptr, amp.c_str(), s.positioning.get());
        case SetKind::Vv: return srvTav_ItiVvDat_ComRd(nullptr, amp.c_str(), s.vv.get());
    }
    return TAV_E_PARAMETER;
}

int write_changed(DataSet& s, const std::string& amp) {
    switch (s.kind) {
        case SetKind::Standard: return with_operator_definitions([&] { return srvTav_Para_ComWt(nullptr, amp.c_str(), 0, 0, s.standard.get()); });
        case SetKind::Extended: return srvTav_NewPara_ComWt(nullptr, amp.c_str(), 0, 0, s.extended.get());
        case SetKind::Positioning: return srvTav_ItiDat_ComWt(nullptr, amp.c_str(), 0, s.positioning.get());
        case SetKind::Vv: return srvTav_ItiVvDat_ComWt(nullptr, amp.c_str(), 0, s.vv.get());
    }
    return TAV_E_PARAMETER;
}

std::vector<Item> items_of(DataSet& s) {
    std::vector<Item> items;
    switch (s.kind) {
        case SetKind::Standard: {
            ParaRecord r;
            for (int no = 1; no <= s.standard->nParaCount && no <= kMaxStandard; ++no)
                if (srvTav_Para_Dat_Rd(s.standard.get(), no, &r) == 0) items.push_back(parameter_item(no, r));
            break;
        }
        case SetKind::Extended: {
            NewParaRecord r;
            for (int no = 1; no <= s.extended->nParaCount && no <= kMaxExtended; ++no)
                if (srvTav_NewPara_Dat_Rd(s.extended.get(), no, &r) == 0) items.push_back(parameter_item(no, r));
            break;
        }
        case SetKind::Positioning:
            for (int i = 0; i < s.positioning->nPointCount && i < 99; ++i)
                items.push_back(point_item(i + 1, s.positioning->point[i]));
            break;
        case SetKind::Vv:
            for (int i = 0; i < s.vv->nPointCount && i < 15; ++i) items.push_back(point_item(i + 1, s.vv->point[i]));
            break;
    }
    return items;
}

std::vector<std::string> value_columns(SetKind kind) {
    switch (kind) {
        case SetKind::Standard:
        case SetKind::Extended: return {"value"};
        case SetKind::Positioning:
            return {"cmd_mode", "step_mode", "stop_pos", "speed", "stop_timer", "m_code", "m_valid", "m_timing"};
        case SetKind::Vv:
            return {"cmd_mode", "step_mode", "stop_pos", "speed", "accel_time", "decel_time", "stop_timer", "m_code",
                    "m_valid", "m_timing"};
    }
    return {};
}

std::string value_text(const DataSet& s, const Item& it, std::size_t column) {
    if (column >= it.values.size()) return "";
    const double v = it.values[column];
    if (s.kind == SetKind::Standard || s.kind == SetKind::Extended) {
        char text[64] = "";
        if (s.kind == SetKind::Extended && (it.attr & 0x0002u) != 0) {
            std::snprintf(text, sizeof text, "%lXH", static_cast<unsigned long>(static_cast<long>(v)));
            return text;
        }
        if (srvTav_Double_to_Char(v, static_cast<int>(it.attr), 10, text) != 0) return real_text(v);
        return without_leading_zeros(text);
    }
    const bool vv = s.kind == SetKind::Vv;
    const unsigned posDp = vv ? s.vv->wStopPosDp : s.positioning->wStopPosDp;
    const unsigned timeDp = vv ? s.vv->wStopTimeDp : s.positioning->wStopTimeDp;
    const std::size_t timer = vv ? 6 : 4;
    if (column == 2) return fixed(v, static_cast<int>(posDp));
    if (column == 3) return fixed(v, 2);
    if (vv && (column == 4 || column == 5)) return fixed(v, 1);
    if (column == timer) return fixed(v, static_cast<int>(timeDp) + 2);
    return std::to_string(static_cast<long>(v));
}

bool parse_value(const std::string& text, double& value) {
    if (text.size() > 1 && (text.back() == 'H' || text.back() == 'h')) {
        const std::string digits = text.substr(0, text.size() - 1);
        char* end = nullptr;
        const unsigned long v = std::strtoul(digits.c_str(), &end, 16);
        if (digits.empty() || *end != '\0' || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
        value = static_cast<double>(v);
        return true;
    }
    return parse_real(text, value);
}

bool same_values(const Item& a, const Item& b) {
    if (a.values.size() != b.values.size()) return false;
    for (std::size_t i = 0; i < a.values.size(); ++i) {
        const double scale = std::fmax(1.0, std::fabs(a.values[i]));
        if (std::fabs(a.values[i] - b.values[i]) > 1e-9 * scale) return false;
    }
    return true;
}

Outcome change_item(DataSet& s, const Item& it) {
    switch (s.kind) {
        case SetKind::Standard: return change_para(s.standard.get(), it.no, it.values.at(0));
        case SetKind::Extended: return change_ext(s.extended.get(), it.no, it.values.at(0));
        case SetKind::Positioning:
            if (it.values.size() != 8) return failure(TAV_E_PARAMETER, Msg::BadPointValues);
            return change_point(s.positioning.get(), it.no, point_values(it, false), false);
        case SetKind::Vv:
            if (it.values.size() != 10) return failure(TAV_E_PARAMETER, Msg::BadPointValues);
            return change_vv_point(s.vv.get(), it.no, point_values(it, true), false);
    }
    return failure(TAV_E_PARAMETER, Msg::None);
}

}  // namespace tavhost::core

namespace tavhost::core {

namespace {

std::string values_text(const DataSet& s, const Item& it) {
    std::string text;
    for (std::size_t c = 0; c < it.values.size(); ++c) text += (c ? " " : "") + value_text(s, it, c);
    return text;
}

}  // namespace

std::vector<Difference> differences(DataSet& a, DataSet& b) {
    const std::vector<Item> left = items_of(a), right = items_of(b);
    std::vector<Difference> out;
    std::size_t i = 0, j = 0;
    while (i < left.size() || j < right.size()) {
        const Item* l = i < left.size() ? &left[i] : nullptr;
        const Item* r = j < right.size() ? &right[j] : nullptr;
        if (l && r && l->no == r->no) {
            if (!same_values(*l, *r)) out.push_back({l->no, l->name, l->unit, values_text(a, *l), values_text(b, *r)});
            ++i, ++j;
        } else if (l && (!r || l->no < r->no)) {
            out.push_back({l->no, l->name, l->unit, values_text(a, *l), ""});
            ++i;
        } else {
            out.push_back({r->no, r->name, r->unit, "", values_text(b, *r)});
            ++j;
        }
    }
    return out;
}

}  // namespace tavhost::core
