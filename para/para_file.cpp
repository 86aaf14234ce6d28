// The standard-parameter file: reader and writer, a fresh set for a model,
// and the file name, comment and property accessors.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <strings.h>

#include "bcd/bcd.h"
#include "comm/comm.h"
#include "frame/frame.h"
#include "line/line.h"
#include "para/para.h"
#include "platform/platform.h"
#include "sets/file_frame.h"
#include "sets/sets.h"
#include "text/text.h"

namespace tav::para {

namespace {

constexpr std::size_t kFileLineLimit = 500;
constexpr std::size_t kCommentSize = sizeof(ParaSet::szComment);
constexpr std::size_t kAmpNameMax = 91;
constexpr int kProgressWithFile = 198;
constexpr int kVariantField = 10;
constexpr unsigned kHeaderText = 10000;
constexpr unsigned kUnusedText = 10010;

int file_kind(const char* name) {
    static const struct {
        const char* ext;
        int kind;
    } kinds[] = {{".k7p", 0}, {".syp", 1}, {".csv", 5}, {".hsp", 6}, {".k7v", 7}};
    const std::size_t n = std::strlen(name);
    if (n < 4) return -1;
    for (const auto& k : kinds)
        if (strcasecmp(name + n - 4, k.ext) == 0) return k.kind;
    return -1;
}

// The whole number of a value as the "%12u" and "%lX" columns print it.
unsigned long long whole(double v) {
    if (!(v == v)) return 0;
    const double t = std::trunc(v);
    if (t >= 9.2e18) return static_cast<unsigned long long>(INT64_MAX);
    if (t <= -9.2e18) return static_cast<unsigned long long>(INT64_MIN);
    return static_cast<unsigned long long>(static_cast<long long>(t));
}

void value_text(double v, unsigned attr, char* out, std::size_t size) {
    char t[bcd::kTextMax];
    if (bcd::Double_to_Char(v, attr, 10, t) == 0)
        tavplat::copy_text(out, size, t);
    else
        tavplat::format_text(out, size, "%10.2f", v);
}

// The limit columns hold the formatter's text as it is: the "%10.2f"
// fallback belongs to the value column only.
void limit_text(const ParaRecord& r, double v, char* out, std::size_t size) {
    if (r.wAttr & 0x0002u) {
        tavplat::format_text(out, size, "%12u", static_cast<unsigned>(whole(v)));
        return;
    }
    char t[bcd::kTextMax] = {};
    bcd::Double_to_Char(v, r.wAttr, 10, t);
    tavplat::copy_text(out, size, t);
}

// Appends bytes to the comment, LF as CR LF; what does not fit in the 2047
// bytes is dropped, never half of a CR LF pair.
class CommentWriter {
public:
    explicit CommentWriter(char* comment) : c_(comment), n_(std::strlen(comment)) {}
    void put(char b) {
        if (full_) return;
        if (b == '\n') {
            if (n_ + 2 > kCommentSize - 1) return stop();
            c_[n_++] = '\r';
        } else if (n_ + 1 > kCommentSize - 1) {
            return stop();
        }
        c_[n_++] = b;
        c_[n_] = '\0';
    }
    bool full() const { return full_; }

private:
    void stop() { full_ = true; }
    char* c_;
    std::size_t n_;
    bool full_ = false;
};

// Line 1 after "SERVO" and the model name: amplifier number, read date and
// the identification fields. A missing field leaves the rest at the defaults.
void read_identification(const char* line, ParaSet* set) {
    char tok[kFileLineLimit];
    const char* p = frame::GetCommaField(line, tok, sizeof tok);  // SERVO
    p = frame::GetCommaField(p, tok, sizeof tok);                 // model name
    p = frame::GetCommaField(p, set->szAmpNo, sizeof set->szAmpNo);
    if (p == nullptr) return;
    p = frame::GetCommaText(p, set->szReadDate, sizeof set->szReadDate);
    sets::read_identification_fields(p, set, sets::InfoWord::kSignExtended16);
}

// One parameter line over its slot; false when the line lacks its number or
// a numeric value, which ends the reading.
bool read_parameter(const char* line, ParaRecord& r) {
    char tok[kFileLineLimit];
    const char* p = frame::GetCommaField(line, tok, sizeof tok);
    if (tok[0] == '\0') return false;
    p = frame::GetCommaField(p, tok, sizeof tok);
    char* end = nullptr;
    const double value = std::strtod(tok, &end);
    if (tok[0] == '\0' || *end != '\0' || !std::isfinite(value)) return false;
    r.dValue = value;
    p = frame::GetCommaField(p, tok, sizeof tok);
    if (tok[0] == '\0') return true;
    r.wAttr = static_cast<uint16_t>(std::strtoul(tok, nullptr, 16));
    mark_name(r);
    double limits[3];
    for (double& v : limits) {
        p = frame::GetCommaField(p, tok, sizeof tok);
        const double d = std::strtod(tok, nullptr);
        v = std::isfinite(d) ? d : 0;
    }
    r.dInitial = limits[0];
    r.dMax = limits[1];
    r.dMin = limits[2];
    frame::GetCommaField(p, tok, sizeof tok);
    r.nResult = static_cast<int32_t>(std::strtol(tok, nullptr, 10));
    return true;
}

// The variant of a parameter file: the byInfo3 field of line 1 (its tenth
// field) as the reader stores it, 0 when the line is shorter.
int file_variant(const char* file) {
    FILE* f = tavplat::fopen_text(file, "r", tavplat::kMaxDataFileBytes);
    if (f == nullptr) return 0;
    char line[kFileLineLimit];
    const bool any = read_line(f, line, sizeof line);
    std::fclose(f);
    if (!any) return 0;
    char tok[kFileLineLimit];
    const char* p = line;
    for (int field = 1; field <= kVariantField; ++field) {
        if (p == nullptr || *p == '\0' || *p == '\n') return 0;
        p = frame::GetCommaText(p, tok, sizeof tok);
    }
    return static_cast<uint8_t>(std::strtoul(tok, nullptr, 16));
}

Result read_parameter_file(const char* file, ParaSet* set) {
    FILE* f = tavplat::fopen_text(file, "r", tavplat::kMaxDataFileBytes);
    if (f == nullptr) return tavplat::refused_file(errno) ? TAV_E_FILE_NAME : TAV_E_NO_FILE;
    char line[kFileLineLimit];
    if (read_line(f, line, sizeof line)) read_identification(line, set);
    if (set->byInfo12 == 0xFF) set->byInfo11 = 0xFF;
    read_line(f, line, sizeof line);  // column header

    short code = TAV_OK;
    for (int i = 0; i < set->nParaCount && i < kSlots; ++i) {
        if (!read_line(f, line, sizeof line) || !read_parameter(line, set->para[i])) break;
        ++set->nProgressDone;
        if (set->nCancel == TAV_E_CANCELLED) {
            code = TAV_E_CANCELLED;
            break;
        }
    }
    if (code == TAV_OK && std::fgets(line, static_cast<int>(sizeof line), f) != nullptr) {
        CommentWriter comment(set->szComment);
        if (const char* at = std::strstr(line, "ampname="); at != nullptr) {
            std::string name(at + 8);
            if (!name.empty() && name.back() == '\n') name.pop_back();
            copy_cut(line::amp_name_from_file(), line::kAmpNameSize, name.c_str(), kAmpNameMax);
        } else {
            line::amp_name_from_file()[0] = '\0';
            for (const char* q = line; *q != '\0'; ++q) comment.put(*q);
        }
        int c;
        while (!comment.full() && (c = std::fgetc(f)) != EOF) comment.put(static_cast<char>(c));
    }
    std::fclose(f);
    return code;
}

// Para_Rd, with the model a Create makes its set for (-1 outside a Create:
// the line settings tell it).
Result read_set(const char* file, int kind, ParaSet* set, int createModel) {
    if (kind < 0 || kind > 2) return TAV_E_PARAMETER;
    const bool withFile = file != nullptr && file[0] != '\0';
    set->nProgressTotal = withFile ? kProgressWithFile : kParaCount;

    int model = 0, variant = 0;
    // A failed read leaves the defaults in ls, and those are what a set
    // created without servo.set takes.
    LineSettings ls{};
    if (withFile) {
        int fileKind = -1, number = 0;
        const short code = line::File_Chk(file, &fileKind, &model, &number, nullptr, nullptr);
        if (code != TAV_OK) return code;
        if (model == 4) return TAV_E_FILE_NAME;  // no first line
        // Any variant a file names selects its own definition, or fails its look-up.
        variant = file_variant(file);
    } else {
        const short code = line::Set_Rd(&ls);
        if (code != TAV_OK && createModel < 0) return code;
        model = createModel >= 0 ? createModel : ls.nModel;
        variant = ls.nModelValue1 >= 0 && ls.nModelValue1 <= 3 ? ls.nModelValue1 : 0;
    }
    const int id = kind == 2 ? (withFile ? 700 : 720) : (kind == 0 ? 500 : 600) + 10 * model + variant;

    char path[TAV_PATH_MAX] = {};
    short code = comm::full_path(id, path);
    if (code != TAV_OK) return code;
    FILE* def = tavplat::fopen_text(path, "r", tavplat::kMaxDefinitionFileBytes);
    if (def == nullptr) return tavplat::refused_file(errno) ? TAV_E_FILE_NAME : TAV_E_NO_FILE;

    clear_set(set);
    if (withFile) {
        tavplat::copy_text(set->szFileName, file);
        line::set_amp_name_from_file_sel(1);
    } else {
        tavplat::copy_text(set->szAmpNo, "0");
        set->nInterface = ls.nModelValue1;
        set->nInfo17 = ls.nModelValue2;
        set->byInfo14 = static_cast<uint8_t>(ls.nLine6 & 0xFF);
        set->nFamily = ls.nTenth;
    }
    tavplat::copy_text(set->szDefPath, path);
    set->nKind = kind;
    set->nModel = model;
    code = read_definition_lines(def, set, true);
    std::fclose(def);
    if (code != TAV_OK || !withFile) return code;
    return read_parameter_file(file, set);
}

}  // namespace

Result Para_Rd(const char* file, int kind, ParaSet* set) { return read_set(file, kind, set, -1); }

Result Para_Wt(const char* file, ParaSet* set) {
    set->nProgressTotal = set->nParaCount;
    set->nProgressDone = 0;
    std::string name;
    if (const short code = sets::save_target(file, set->szFileName, &name); code != TAV_OK) return code;
    const int kind = file_kind(name.c_str());
    if (kind == 5) return ParaCsvType_Wt(name.c_str(), set);
    if (kind != 0 && kind != 1 && kind != 6 && kind != 7) return TAV_E_FILE_NAME;

    return sets::write_whole_file(name.c_str(), TAV_E_READ_ONLY, nullptr, [&](FILE* f) -> short {
        // The interface column carries the low byte of the interface code.
        const std::string head = sets::identification_line(*set, static_cast<unsigned>(set->nInterface) & 0xFFu) +
                                 text::Text(kHeaderText);
        if (sets::put_lines(f, head) != TAV_OK) return TAV_E_DISK_FULL;
        return sets::write_parameter_lines(f, set, std::min(int{set->nParaCount}, kSlots),
                                           [](FILE* out, int i, const ParaRecord& r) {
                                               char v[64], ini[64], mx[64], mn[64];
                                               value_text(r.dValue, r.wAttr, v, sizeof v);
                                               limit_text(r, r.dInitial, ini, sizeof ini);
                                               limit_text(r, r.dMax, mx, sizeof mx);
                                               limit_text(r, r.dMin, mn, sizeof mn);
                                               return std::fprintf(out, "%3d, %s, %04X, %s, %s, %s, %d\n", i + 1,
                                                                   v, r.wAttr, ini, mx, mn, r.nResult);
                                           });
    });
}

Result Para_Create(int model, int kind, ParaSet* set) {
    set->nProgressTotal = set->nProgressDone = 0;
    short code = read_set(nullptr, kind, set, model < 0 ? 0 : model);
    if (code == TAV_OK) code = Para_Syousuh_Chg(set, 1, 1, 0);
    if (code != TAV_OK) {
        set->nProgressDone = -1;
    } else {
        set->nProgressTotal = set->nProgressDone = 1;
    }
    return code;
}

Result Para_FileName_Chg(ParaSet* set, const char* name) { return sets::change_file_name(set, name); }

short Para_FileCmt_Rd(ParaSet* set, char* out) {
    std::memcpy(out, set->szComment, kCommentSize);
    out[kCommentSize - 1] = '\0';
    return TAV_OK;
}

Result Para_FileCmt_Wt(ParaSet* set, const char* text) { return sets::write_comment(set, text); }

short Para_Property_Rd(ParaSet* set, ParaProperty* out) {
    sets::copy_properties_out(*set, out);
    return TAV_OK;
}

Result Para_Property_Wt(ParaSet* set, const ParaProperty* in) {
    auto kept = std::make_unique<ParaSet>();
    std::memcpy(static_cast<void*>(kept.get()), set, sizeof *set);
    if (sets::properties_need_new_set(*set, *in)) {
        const short code = Para_Create(in->nModel, in->nKind, set);
        if (code != TAV_OK) return code;
    }
    sets::take_properties(set, *in, kept->nKind);
    sets::restore_values(set, *kept, std::min(int{set->nParaCount}, kSlots), text::Text(kUnusedText));
    return Para_Syousuh_Chg(set, 0, 1, 0);
}

}  // namespace tav::para
