// Standard-parameter definitions and the working set: the definition-file
// loader, the identification codes and the single-parameter accessors.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "comm/comm.h"
#include "frame/frame.h"
#include "para/para.h"
#include "platform/platform.h"
#include "sets/sets.h"
#include "text/text.h"

namespace tav::para {

namespace {

constexpr std::size_t kDefLineLimit = 2000;
constexpr int kKindBase[3] = {500, 600, 720};
constexpr unsigned kGroupNameBase = 9000;
constexpr std::size_t kGroupNameSize = 100;

// The two-letter codes by code number; empty where a number is unused.
constexpr const char* kCodes[17] = {"KK", "TT", "C1", "C2", "O1", "O2", "SS", "AA", "BB",
                                    "DD", "NN", "",   "C0", "",   "O0", "ZZ", "FF"};

bool in_range(const ParaSet* set, int no) { return no >= 1 && no <= set->nParaCount && no <= kSlots; }

ParaRecord& rec(ParaSet* set, int no) { return set->para[no - 1]; }

bool parse_long(const char* text, int base, long& out) {
    errno = 0;
    char* end = nullptr;
    out = std::strtol(text, &end, base);
    return end != text && *end == '\0' && errno == 0;
}

bool parse_double(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(out);
}

// One definition line into r. A token field among 1-8 that is missing or not
// a number ends the line there; fields 9 onwards as both parameter sets read them.
void parse_definition(const char* line, ParaRecord& r) {
    char tok[kDefLineLimit];
    const char* p = line;
    long n = 0;
    double d = 0;

    if ((p = frame::GetTabField(p, tok, sizeof tok)) == nullptr || !parse_long(tok, 10, n)) return;
    r.nParaNo = static_cast<int32_t>(n);
    if ((p = frame::GetTabField(p, tok, sizeof tok)) == nullptr || !parse_long(tok, 10, n)) return;
    r.nChgFlag = static_cast<int32_t>(n);
    p = frame::GetTabText(p, r.szName, sizeof r.szName);
    if ((p = frame::GetTabField(p, tok, sizeof tok)) == nullptr || !parse_long(tok, 16, n)) return;
    r.wAttr = static_cast<uint16_t>(n & 0xFFFF);
    // The record is packed: its doubles are stored by name, never by pointer.
    for (int k = 0; k < 4; ++k) {
        if ((p = frame::GetTabField(p, tok, sizeof tok)) == nullptr || !parse_double(tok, d)) return;
        if (k == 0) r.dInitial = d;
        else if (k == 1) r.dMax = d;
        else if (k == 2) r.dMin = d;
        else r.dScale = d;
    }
    sets::read_definition_texts(p, r);
}

}  // namespace

bool read_line(FILE* f, char* buf, std::size_t limit) {
    if (std::fgets(buf, static_cast<int>(limit), f) == nullptr) return false;
    const std::size_t len = std::strlen(buf);
    if (len > 0 && buf[len - 1] != '\n') {
        int c;
        while ((c = std::fgetc(f)) != EOF && c != '\n') {
        }
    }
    return true;
}

void copy_cut(char* dst, std::size_t dstSize, const char* src, std::size_t n) {
    if (dstSize == 0) return;
    std::size_t i = 0;
    const std::size_t limit = std::min(n, dstSize - 1);
    while (i < limit && src[i] != '\0') {
        const auto b = static_cast<unsigned char>(src[i]);
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        if (lead) {
            if (i + 1 >= limit || src[i + 1] == '\0') break;
            dst[i] = src[i];
            dst[i + 1] = src[i + 1];
            i += 2;
        } else {
            dst[i] = src[i];
            ++i;
        }
    }
    dst[i] = '\0';
}

void mark_name(ParaRecord& r) {
    if ((r.wAttr & 0x0001u) == 0 || (r.wAttr & 0x0008u) != 0 || r.szName[0] == '*') return;
    char named[sizeof r.szName];
    tavplat::format_text(named, sizeof named, "*%s", r.szName);
    std::memcpy(r.szName, named, sizeof named);
}

int code_number(const ParaRecord& r) {
    for (int i = 0; i < 17; ++i)
        if (kCodes[i][0] != '\0' && std::strcmp(r.szIdCode, kCodes[i]) == 0) return i;
    return kNoCode;
}

short range_check(const ParaRecord& r, double value) {
    const double compared = code_number(r) == kZZ && value < 0 ? -value : value;
    return (compared < r.dMin || compared > r.dMax) ? TAV_E_RANGE : TAV_OK;
}

void clear_set(ParaSet* set) {
    // The progress and cancel words are the host's channel while a call runs.
    const int32_t total = set->nProgressTotal, done = set->nProgressDone, cancel = set->nCancel;
    std::memset(static_cast<void*>(set), 0, sizeof *set);
    set->nProgressTotal = total;
    set->nProgressDone = done;
    set->nCancel = cancel;
    sets::apply_header_defaults(set);
    set->nParaCount = kParaCount;
    set->nGroupCount = kGroupCount;
}

Result read_definition_lines(FILE* f, ParaSet* set, bool fileMode) {
    char line[kDefLineLimit];
    for (int i = 0; i < kParaCount; ++i) {
        if (!read_line(f, line, sizeof line)) break;
        ParaRecord& r = set->para[i];
        parse_definition(line, r);
        r.dValue = r.dInitial;
        if (!fileMode) continue;
        mark_name(r);
        r.nResult = 0;
        ++set->nProgressDone;
        if (set->nCancel == TAV_E_CANCELLED) return TAV_E_CANCELLED;
    }
    return TAV_OK;
}

short ParaIni_Rd(int n, int kind, ParaSet* set) {
    if (set == nullptr || kind < 0 || kind > 2) return TAV_E_PARAMETER;
    char path[TAV_PATH_MAX] = {};
    const short code = comm::full_path(kKindBase[kind] + n, path);
    if (code != TAV_OK) return code;
    FILE* f = tavplat::fopen_text(path, "r", tavplat::kMaxDefinitionFileBytes);
    if (f == nullptr) return tavplat::refused_file(errno) ? TAV_E_FILE_NAME : TAV_E_NO_FILE;
    clear_set(set);
    tavplat::copy_text(set->szDefPath, path);
    set->nKind = kind;
    set->nModel = n;
    (void)read_definition_lines(f, set, false);  // only the file mode polls the cancel
    std::fclose(f);
    return TAV_OK;
}

short Para_Dat_Rd(ParaSet* set, int no, ParaRecord* out) {
    if (!in_range(set, no)) return TAV_E_PARAMETER;
    const ParaRecord& r = rec(set, no);
    if (r.wAttr == 0) return TAV_E_FIXED_PARAMETER;
    sets::copy_out(r, out);
    return TAV_OK;
}

Result Para_Dat_Chg(ParaSet* set, int no, double value) {
    if (!in_range(set, no)) return TAV_E_PARAMETER;
    ParaRecord& r = rec(set, no);
    if (std::isnan(value) || range_check(r, value) != TAV_OK) return TAV_E_RANGE;
    const bool selector = code_number(r) == kSS;
    const bool changed = r.dValue != value;
    r.dValue = value;
    r.nChgFlag = 1;
    if (!selector) return TAV_OK;
    return Para_Syousuh_Chg(set, changed ? 1 : 0, 1, 0);
}

Result Para_Dat_Init(ParaSet* set, int no) {
    if (!in_range(set, no)) return TAV_E_PARAMETER;
    return sets::reset_to_initial(rec(set, no));
}

short Para_SubTile_Rd(ParaSet* set, int no, char* out) {
    if (!in_range(set, no)) return TAV_E_PARAMETER;
    return sets::read_subtitle(rec(set, no), out);
}

short Para_ValueString_Rd(ParaSet* set, int no, int idx, char* out) {
    out[0] = '\0';
    if (!in_range(set, no) || idx < 1 || idx > 8) return TAV_E_PARAMETER;
    const char* text = rec(set, no).szValueText[idx - 1];
    if (text[0] == '\0') return TAV_E_PARAMETER;
    tavplat::copy_text(out, sizeof rec(set, no).szValueText[0], text);
    return TAV_OK;
}

short StdSyp_GrpNmae_Rd(ParaSet* set, int grp, char* out) {
    out[0] = '\0';
    const long id = static_cast<long>(kGroupNameBase) + 100L * set->nKind + 10L * set->nModel + grp;
    if (id <= 0 || id > 0xFFFF) return TAV_OK;  // no such text: empty
    text::LoadText(static_cast<unsigned>(id), out, static_cast<int>(kGroupNameSize));
    return TAV_OK;
}

short Para_Skubun_No_Rd(ParaSet* set, int codeNo, int dir, int* no) {
    if (codeNo < 0 || codeNo > 16 || kCodes[codeNo][0] == '\0') return TAV_E_PARAMETER;
    const int count = std::min(int{set->nParaCount}, kSlots);
    if (count <= 0) return TAV_E_PARAMETER;
    return sets::find_code(set, count, kCodes[codeNo], dir == 1 && sets::searched_backwards(codeNo), no);
}

short Para_No_Skubun_Rd(ParaSet* set, int no, int* codeNo) {
    if (!in_range(set, no)) return TAV_E_PARAMETER;
    *codeNo = code_number(rec(set, no));
    return TAV_OK;
}

}  // namespace tav::para
