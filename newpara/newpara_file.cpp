// Extended parameter files (.k7p / .syp): reader, writer, creation of a set
// from definitions alone, and the small header accessors.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "bcd/bcd.h"
#include "frame/frame.h"
#include "line/line.h"
#include "newpara/state.h"
#include "platform/platform.h"
#include "sets/file_frame.h"
#include "sets/sets.h"
#include "text/text.h"

namespace tav::newpara {

namespace {

constexpr int kLineLimit = 500;
constexpr int kCommentMax = 2047;
constexpr std::size_t kAmpNameMax = 91;

double number(const char* text) {
    const double v = std::strtod(text, nullptr);
    return std::isfinite(v) ? v : 0.0;
}

unsigned long hex(const char* text) { return std::strtoul(text, nullptr, 16); }

// The first comma field of a catalogue row ("D,3000[r/min]" gives "D").
std::string first_field(unsigned id) {
    const std::string row = text::Text(id);
    char tok[200] = {};
    frame::GetCommaField(row.c_str(), tok, sizeof tok);
    return tok;
}
std::string second_field(unsigned id) {
    const std::string row = text::Text(id);
    char tok[200] = {};
    const char* p = frame::GetCommaField(row.c_str(), tok, sizeof tok);
    frame::GetCommaField(p, tok, sizeof tok);
    return tok;
}

// One parameter line over the definition values; false when it has no value.
bool read_parameter(const char* line, NewParaRecord& rec) {
    char tok[kLineLimit];
    const char* p = frame::GetCommaField(line, tok, sizeof tok);
    if (p == nullptr) return false;
    p = frame::GetCommaField(p, tok, sizeof tok);
    if (tok[0] == '\0') return false;
    rec.dValue = number(tok);
    if ((p = frame::GetCommaField(p, tok, sizeof tok)) == nullptr) return true;
    rec.wAttr = static_cast<uint16_t>(hex(tok));
    double* const values[] = {&rec.dInitial, &rec.dMax, &rec.dMin};
    for (double* v : values) {
        if ((p = frame::GetCommaField(p, tok, sizeof tok)) == nullptr) return true;
        const double x = number(tok);
        std::memcpy(v, &x, sizeof x);  // the record is packed: no aligned store through v
    }
    if ((p = frame::GetCommaField(p, tok, sizeof tok)) == nullptr) return true;
    rec.nResult = line::parse_int(tok);
    std::size_t n = 0;
    for (; p[n] != '\0' && p[n] != '\n' && n + 1 < sizeof rec.szFileNote; ++n) rec.szFileNote[n] = p[n];
    rec.szFileNote[n] = '\0';
    return true;
}

// The rest of the file after the parameter lines: the amplifier name and the comment.
void read_tail(FILE* f, NewParaSet* set) {
    std::string line;
    bool any = line::read_whole_line(f, line);
    if (any && line.find("ampname=") != std::string::npos) {
        std::string name = line.size() > 8 ? line.substr(8, line.size() - 9) : "";
        if (name.size() > kAmpNameMax) name.resize(kAmpNameMax);
        tavplat::copy_text(line::amp_name_from_file(), line::kAmpNameSize, name.c_str());
        any = line::read_whole_line(f, line);
    } else {
        line::amp_name_from_file()[0] = '\0';
    }
    // The comment keeps CR LF between its lines; text beyond the area is dropped.
    std::string comment;
    while (any) {
        for (char c : line) {
            if (c == '\n') comment += "\r\n";
            else comment += c;
        }
        if (comment.size() > kCommentMax) break;
        any = line::read_whole_line(f, line);
    }
    if (comment.size() > kCommentMax) comment.resize(kCommentMax);
    tavplat::copy_text(set->szComment, comment.c_str());
}

Result read_set(const char* path, int kind, NewParaSet* set, std::optional<int> createModel);

}  // namespace

short format_value(double value, unsigned attr, char* out, bool fallback) {
    const short code = bcd::Double_to_Char(value, static_cast<int>(attr), 10, out);
    if (code != 0 && fallback) tavplat::format_text(out, bcd::kTextMax, "%10.2f", value);
    return code;
}

Result NewPara_Rd(const char* path, int kind, NewParaSet* set) { return read_set(path, kind, set, std::nullopt); }

namespace {

// NewPara_Rd, with the model a Create makes its set for (none outside a
// Create: the line settings tell it).
Result read_set(const char* path, int kind, NewParaSet* set, std::optional<int> createModel) {
    const bool hasFile = path != nullptr && path[0] != '\0';
    set->nProgressTotal = hasFile ? 2 * kParaCount : kParaCount;
    LineSettings ls{};
    const short settingsCode = line::Set_Rd(&ls);
    const int family = ls.nTenth == kFamilyKesta7 ? kFamilyKesta7 : kFamilyMini;

    int model = 0, iface = 0;
    if (hasFile) {
        int fileKind = -1, number = 0;
        char text[kLineLimit + 8] = {};
        const short code = line::File_Chk(path, &fileKind, &model, &number, text, nullptr);
        if (code != TAV_OK) return code;
        if (model == 4) return TAV_E_FILE_NAME;
        iface = number;
    } else if (createModel) {
        model = *createModel;
        iface = ls.nModelValue1 >= 0 && ls.nModelValue1 <= 3 ? ls.nModelValue1 : 0;
    } else {
        if (settingsCode != TAV_OK) return settingsCode;
        model = ls.nModel;
        iface = ls.nModelValue1 >= 0 && ls.nModelValue1 <= 10 ? ls.nModelValue1 : 0;
    }
    // The hidden page has one definition per family, whatever the model.
    const int id = kind == 0 || kind == 1 ? definition_id(family, model, iface, kind)
                                          : (family == kFamilyKesta7 ? 700 : 710);
    LoadOptions opt{kind, model, ls.nModelValue1, family, true};
    const int32_t total = set->nProgressTotal;
    short code = load_definition(id, opt, set);
    if (code != TAV_OK && code != TAV_E_CANCELLED) return code;
    set->nProgressTotal = total;  // the load cleared the set, progress included
    if (hasFile) {
        tavplat::copy_text(set->szFileName, path);
        line::set_amp_name_from_file_sel(1);
    } else {
        set->szFileName[0] = '\0';
        tavplat::copy_text(set->szAmpNo, "0");
    }
    set->byInfo10 = static_cast<uint8_t>(ls.nModelValue2);
    set->nInfo17 = ls.nModelValue2;
    set->byInfo14 = static_cast<uint8_t>(ls.nModelValue3);
    set->byInfo11 = 0xFF;
    if (!hasFile || code != TAV_OK) return code;

    FILE* f = tavplat::fopen_text(path, "r", tavplat::kMaxDataFileBytes);
    if (f == nullptr) return tavplat::refused_file(errno) ? TAV_E_FILE_NAME : TAV_E_NO_FILE;
    char line[kLineLimit];
    if (std::fgets(line, kLineLimit, f) != nullptr) {
        char tok[kLineLimit];
        const char* p = frame::GetCommaField(line, tok, sizeof tok);
        p = frame::GetCommaField(p, tok, sizeof tok);
        p = frame::GetCommaField(p, tok, sizeof tok);
        if (p != nullptr && tok[0] != '\0') {
            tavplat::copy_text(set->szAmpNo, tok);
            p = frame::GetCommaText(p, set->szReadDate, sizeof set->szReadDate);
            sets::read_identification_fields(p, set, sets::InfoWord::kAsRead);
        }
    }
    if (std::fgets(line, kLineLimit, f) != nullptr) {  // the column header
        const int count = std::min(int{set->nParaCount}, kParaCount);  // int{}: a copy, the set is packed
        for (int i = 0; i < count; ++i) {
            if (std::fgets(line, kLineLimit, f) == nullptr || !read_parameter(line, set->para[i])) break;
            ++set->nProgressDone;
            if (set->nCancel == TAV_E_CANCELLED) {
                code = TAV_E_CANCELLED;
                break;
            }
        }
        if (code == TAV_OK) read_tail(f, set);
    }
    std::fclose(f);
    return code;
}

}  // namespace

Result NewPara_Wt(const char* path, NewParaSet* set) {
    set->nProgressTotal = set->nParaCount;
    std::string target;
    if (const short code = sets::save_target(path, set->szFileName, &target); code != TAV_OK) return code;
    int kind = -1;
    // The file need not exist yet: only its kind by name counts here.
    line::File_Chk(target.c_str(), &kind, nullptr, nullptr, nullptr, nullptr);
    if (kind == 5) return NewParaCsvType_Wt(target.c_str(), set);
    if (kind != 0 && kind != 1 && kind != 8) return TAV_E_FILE_NAME;

    auto trace = [](const char* name) { frame::tracef("NewPara file=[%s]", name); };
    return sets::write_whole_file(target.c_str(), TAV_E_READ_ONLY, trace, [&](FILE* f) -> short {
        // The interface column carries the whole interface code.
        const std::string head = sets::identification_line(*set, static_cast<unsigned>(set->nInterface));
        if (sets::put_lines(f, head + text::Text(10000)) != TAV_OK) return TAV_E_DISK_FULL;
        const int count = std::min(int{set->nParaCount}, kParaCount);  // int{}: a copy, the set is packed
        return sets::write_parameter_lines(f, set, count, [](FILE* out, int i, const NewParaRecord& r) {
            char v[bcd::kTextMax], ini[bcd::kTextMax], mx[bcd::kTextMax], mn[bcd::kTextMax];
            format_value(r.dValue, r.wAttr, v);
            format_value(r.dInitial, r.wAttr, ini, false);
            format_value(r.dMax, r.wAttr, mx, false);
            format_value(r.dMin, r.wAttr, mn, false);
            char note[sizeof r.szFileNote];
            tavplat::copy_text(note, r.szFileNote);
            return std::fprintf(out, "%3d, %s, %04X, %s, %s, %s, %d,%s\n", i + 1, v, r.wAttr, ini, mx, mn, r.nResult,
                                note);
        });
    });
}

Result NewPara_Create(int model, int kind, NewParaSet* set) {
    set->nProgressTotal = set->nProgressDone = 0;
    frame::CheckDiagnosticMarkers();
    short code = read_set(nullptr, kind, set, model);
    if (code == TAV_OK) code = NewPara_Syousuh_Chg(set, 1, 1, 0, 1);
    sets::finish_progress(set, code);
    return code;
}

Result NewPara_FileName_Chg(NewParaSet* set, const char* name) { return sets::change_file_name(set, name); }

short NewPara_FileCmt_Rd(NewParaSet* set, char* out) {
    tavplat::copy_text(out, sizeof set->szComment, set->szComment);
    return TAV_OK;
}

Result NewPara_FileCmt_Wt(NewParaSet* set, const char* text) { return sets::write_comment(set, text); }

short NewPara_Property_Rd(NewParaSet* set, NewParaProperty* out) {
    sets::copy_properties_out(*set, out);
    out->byInfo3 = set->byInfo3;  // only the extended property record has it
    return TAV_OK;
}

Result NewPara_Property_Wt(NewParaSet* set, const NewParaProperty* prop) {
    // The old values survive a re-creation of the set in this copy.
    NewParaSet& copy = state().propertyCopy;
    std::memcpy(&copy, set, sizeof copy);
    if (sets::properties_need_new_set(*set, *prop)) {
        const short code = NewPara_Create(prop->nModel, prop->nKind, set);
        if (code != TAV_OK) return code;
    }
    sets::take_properties(set, *prop, copy.nKind);
    sets::restore_values(set, copy, std::min(int{set->nParaCount}, kParaCount), text::Text(10010));
    return NewPara_Syousuh_Chg(set, 0, 1, 0, 1);
}

short NewPara_Ctl_Inf_Rd(NewParaSet* set, int item, int* lines, char* out) {
    if (lines != nullptr) *lines = 9;
    std::string s;
    switch (item) {
    case 1:
        s = page_title(set->nKind);
        break;
    case 2: {
        const std::string base = base_name(set->szFileName, false);
        s = text::Text(10032) + (base.empty() ? text::Text(10015) : base);
        break;
    }
    case 3:
        s = text::Text(10004) + text::Text(set->nModel >= 0 && set->nModel <= 2 ? 10022 + set->nModel : 10025);
        break;
    case 4: {
        // "QMT 101D5 - LV 2": family, capacity, speed, control type, interface, voltage.
        const bool k7 = set->nFamily == kFamilyKesta7;
        const unsigned capacityRow = (k7 && set->byInfo1 != 0 ? 6500 : 6000) + set->byInfo2;
        const unsigned ctl = set->nModel >= 0 && set->nModel <= 2 ? static_cast<unsigned>(set->nModel) : 3;
        const unsigned ifc = set->nInterface >= 0 && set->nInterface <= 1 ? static_cast<unsigned>(set->nInterface) : 2;
        s = text::Text(10021) + (k7 ? "QMT " : "QMH ") + first_field(capacityRow) +
            first_field((k7 ? 5000 : 12000) + set->byInfo1) + "5 - " + first_field(3640 + ctl) +
            first_field((ctl == 0 ? 3690 : 3695) + ifc) + " " + first_field(7500 + set->byInfo3);
        break;
    }
    case 5: {
        const unsigned ifc = set->nInterface >= 0 && set->nInterface <= 2 ? static_cast<unsigned>(set->nInterface) : 2;
        s = text::Text(10026) + second_field(3690 + ifc);
        break;
    }
    case 8:
        // The same composition as the identification's motor name.
        s = text::Text(10029) + (set->byInfo10 == 0xFF ? std::string("NV* ****** - ***")
                                                       : line::MotorName(set->byInfo10, set->byInfo11, set->byInfo12,
                                                                         set->byInfo14,
                                                                         [](unsigned id) { return text::Text(id); }));
        break;
    case 9:
        s = text::Text(10030) + std::string(set->szReadDate, strnlen(set->szReadDate, sizeof set->szReadDate));
        break;
    case 10:
        s = text::Text(10031) + std::string(set->szComment, strnlen(set->szComment, sizeof set->szComment));
        break;
    case 11: {
        const int amp = line::parse_int(std::string(set->szAmpNo, strnlen(set->szAmpNo, sizeof set->szAmpNo)).c_str());
        if (amp > 0) s = text::Text(10040) + std::to_string(amp % 16);
        break;
    }
    case 12: {
        char version[16] = {};
        frame::GetVersion(version);
        s = text::Text(10041) + version;
        break;
    }
    default:
        break;
    }
    tavplat::copy_text(out, kInfoLineSize, s.c_str());
    return TAV_OK;
}

}  // namespace tav::newpara
