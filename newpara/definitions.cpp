// Extended parameter definitions: the definition files, the identification
// codes and the accessors the host edits single parameters with.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "comm/comm.h"
#include "frame/frame.h"
#include "newpara/state.h"
#include "platform/file_identity.h"
#include "platform/platform.h"
#include "sets/sets.h"
#include "text/text.h"

namespace tav::newpara {

namespace {

constexpr int kHeaderLineLimit = 500;
constexpr int kLineLimit = 4000;
constexpr int kValueTexts = 10;

// Indexed by code number; null marks the unused numbers 11 and 13.
constexpr const char* kCodes[] = {"KK", "TT", "C1", "C2", "O1", "O2", "SS", "AA", "BB", "DD", "NN", nullptr,
                                  "C0", nullptr, "O0", "ZZ", "FF", "OP", "ZO", "HK", "S2", "IP", "SC"};
constexpr int kCodeCount = static_cast<int>(sizeof kCodes / sizeof kCodes[0]);

bool in_range(const NewParaSet* set, int no) { return no >= 1 && no <= set->nParaCount && no <= kParaCount; }

void set_defaults(NewParaSet* set) {
    sets::apply_header_defaults(set);
    set->byInfo3 = 0xFF;
}

double number(const char* text) {
    const double v = std::strtod(text, nullptr);
    return std::isfinite(v) ? v : 0.0;
}

// One definition line into rec. Missing fields 1-8 end the line; fields 9
// onwards as both parameter sets read them, the item comment kept twice.
void parse_line(const char* line, NewParaRecord& rec) {
    char tok[kLineLimit];
    const char* p = frame::GetTabField(line, tok, sizeof tok);
    if (p == nullptr) return;
    rec.nParaNo = static_cast<int32_t>(std::strtol(tok, nullptr, 10));
    if ((p = frame::GetTabField(p, tok, sizeof tok)) == nullptr) return;
    rec.nChgFlag = static_cast<int32_t>(std::strtol(tok, nullptr, 10));
    if ((p = frame::GetTabText(p, rec.szName, sizeof rec.szName)) == nullptr) return;
    if ((p = frame::GetTabField(p, tok, sizeof tok)) == nullptr) return;
    // The attribute is written with a prefix such as 0x, which is skipped.
    rec.wAttr = std::strlen(tok) > 2 ? static_cast<uint16_t>(std::strtoul(tok + 2, nullptr, 16)) : 0;
    double* const values[] = {&rec.dInitial, &rec.dMax, &rec.dMin, &rec.dScale};
    for (double* v : values) {
        if ((p = frame::GetTabField(p, tok, sizeof tok)) == nullptr) return;
        const double x = number(tok);
        std::memcpy(v, &x, sizeof x);  // the record is packed: no aligned store through v
    }
    sets::read_definition_texts(p, rec);
    tavplat::copy_text(rec.szItemCommentBase, rec.szItemComment);
}

}  // namespace

long long truncated(double v) {
    if (std::isnan(v)) return 0;
    constexpr double kMax = 9.2e18;
    if (v >= kMax) return static_cast<long long>(kMax);
    if (v <= -kMax) return -static_cast<long long>(kMax);
    return static_cast<long long>(v);
}

// Every code is two characters: compared as such, since the listing and the
// decimal-point pass ask this of every parameter.
int code_number(const char* idCode) {
    if (idCode[0] == '\0' || idCode[1] == '\0' || idCode[2] != '\0') return kNoCode;
    for (int i = 0; i < kCodeCount; ++i)
        if (kCodes[i] != nullptr && kCodes[i][0] == idCode[0] && kCodes[i][1] == idCode[1]) return i;
    return kNoCode;
}

const char* code_text(int codeNo) { return codeNo >= 0 && codeNo < kCodeCount ? kCodes[codeNo] : nullptr; }

int definition_id(int family, int model, int interfaceCode, int kind) {
    const int variant = 10 * model + interfaceCode;
    if (family == kFamilyKesta7) return (kind == 0 ? 500 : kind == 1 ? 600 : 700) + variant;
    return (kind == 0 ? 1500 : kind == 1 ? 1600 : 710) + variant;
}

std::string page_title(int kind) { return text::Text(kind == 0 ? 10005 : kind == 1 ? 10006 : 10036); }

std::string base_name(const char* path, bool cutExtension) {
    std::string s = path == nullptr ? "" : std::string(path, strnlen(path, TAV_PATH_MAX));
    const std::size_t cut = s.find_last_of("\\/:");
    if (cut != std::string::npos) s.erase(0, cut + 1);
    if (cutExtension) {
        const std::size_t dot = s.find('.');
        if (dot != std::string::npos) s.erase(dot);
    }
    return s;
}

namespace {

// The folder of a path after its drive letter, with its last separator, as
// every title function gives it: \data\ for C:\data\a.k7p and for \data\a.k7p alike.
std::string folder_part(const std::string& path, std::size_t from) {
    const std::size_t last = path.find_last_of("\\/:");
    return last != std::string::npos && last >= from ? path.substr(from, last + 1 - from) : std::string();
}

}  // namespace

namespace {

constexpr std::size_t kKeptDefinitions = 4;  // a page of each kind and one more
constexpr std::size_t kZeroGap = 32;         // zero runs shorter than this stay inside a piece

ParsedDefinition non_zero_pieces(const tavplat::PathIdentity& file, const NewParaSet* set, int lines) {
    ParsedDefinition d{file, lines, {}, {}};
    const auto* base = reinterpret_cast<const unsigned char*>(set->para);
    const std::size_t size = static_cast<std::size_t>(lines) * sizeof(NewParaRecord);
    std::size_t i = 0;
    while (i < size) {
        while (i < size && base[i] == 0) ++i;
        if (i == size) break;
        const std::size_t start = i;
        std::size_t end = i;  // one past the last non-zero byte so far
        while (i < size && i - end < kZeroGap)
            if (base[i++] != 0) end = i;
        d.pieces.emplace_back(start, end - start);
        d.bytes.insert(d.bytes.end(), base + start, base + end);
        i = end;
    }
    return d;
}

bool take_parsed(const tavplat::PathIdentity& file, NewParaSet* set, int& lines) {
    DefinitionCache& c = state().definitions;
    std::lock_guard<std::mutex> lock(c.mutex);
    for (const ParsedDefinition& d : c.kept) {
        if (!(d.file == file)) continue;
        auto* base = reinterpret_cast<unsigned char*>(set->para);
        const unsigned char* from = d.bytes.data();
        for (const auto& [offset, length] : d.pieces) {
            std::memcpy(base + offset, from, length);
            from += length;
        }
        lines = d.lines;
        return true;
    }
    return false;
}

void keep_parsed(const tavplat::PathIdentity& file, const NewParaSet* set, int lines) {
    ParsedDefinition parsed = non_zero_pieces(file, set, lines);
    DefinitionCache& c = state().definitions;
    std::lock_guard<std::mutex> lock(c.mutex);
    std::vector<ParsedDefinition>& kept = c.kept;
    std::erase_if(kept, [&file](const ParsedDefinition& d) { return d.file.path == file.path; });
    if (kept.size() >= kKeptDefinitions) kept.erase(kept.begin());
    kept.push_back(std::move(parsed));
}

// Lines 2 on of a definition file into the set's records; the count read.
short parse_records(FILE* f, const LoadOptions& opt, NewParaSet* set, int& lines) {
    char line[kLineLimit];
    lines = 0;
    if (std::fgets(line, kHeaderLineLimit, f) == nullptr) return TAV_OK;
    for (int i = 0; i < kParaCount; ++i) {
        if (std::fgets(line, kLineLimit, f) == nullptr) break;
        NewParaRecord& rec = set->para[i];
        parse_line(line, rec);
        rec.dValue = rec.dInitial;
        ++lines;
        if (opt.countProgress) {
            ++set->nProgressDone;
            if (set->nCancel == TAV_E_CANCELLED) return TAV_E_CANCELLED;
        }
    }
    return TAV_OK;
}

}  // namespace

Result load_definition_file(const char* path, const LoadOptions& opt, NewParaSet* set) {
    FILE* f = tavplat::fopen_text(path, "r+", tavplat::kMaxDefinitionFileBytes);
    if (f == nullptr) {
        const short code = tavplat::refused_file(errno) ? TAV_E_FILE_NAME : TAV_E_NO_FILE;
        frame::tracef("NewPara definition file=[%s]", path);
        return code;
    }
    std::memset(set, 0, sizeof *set);
    tavplat::copy_text(set->szDefPath, path);
    set->nKind = opt.kind;
    set->nModel = opt.model;
    set->nInterface = opt.interfaceCode;
    set->nFamily = opt.family;
    set->nParaCount = kParaCount;
    set->nGroupCount = 10;
    set_defaults(set);

    const bool cached = !tavplat::caches_bypassed();
    const tavplat::PathIdentity before = cached ? tavplat::path_identity(path) : tavplat::PathIdentity{};
    int lines = 0;
    short code = TAV_OK;
    if (cached && before.present && take_parsed(before, set, lines)) {
        if (opt.countProgress) set->nProgressDone += lines;
    } else {
        code = parse_records(f, opt, set, lines);
        // Kept only when the file did not change while it was read, and has settled.
        if (cached && code == TAV_OK && before.present && tavplat::identity_is_settled(before) &&
            tavplat::path_identity(path) == before)
            keep_parsed(before, set, lines);
    }
    std::fclose(f);
    return code;
}

Result load_definition(int id, const LoadOptions& opt, NewParaSet* set) {
    char path[TAV_PATH_MAX] = {};
    const short code = comm::full_path(id, path);
    if (code != TAV_OK) return code;
    return load_definition_file(path, opt, set);
}

short NewParaIni_Rd(int model, int interfaceCode, int kind, NewParaSet* set) {
    LoadOptions opt{kind, model, interfaceCode, kFamilyKesta7, false};
    return load_definition(definition_id(kFamilyKesta7, model, interfaceCode, kind), opt, set);
}

short NewParaIni_Rd2(int model, int interfaceCode, int kind, NewParaSet* set) {
    LoadOptions opt{kind, model, interfaceCode, kFamilyMini, false};
    return load_definition(definition_id(kFamilyMini, model, interfaceCode, kind), opt, set);
}

short NewParaTitle_Rd(NewParaSet* set, char* drive, char* dir, char* name, char* out4, char* out5, char* title) {
    const std::string file(set->szFileName, strnlen(set->szFileName, sizeof set->szFileName));
    const bool hasDrive = file.size() >= 2 && file[1] == ':';
    if (drive != nullptr) tavplat::copy_text(drive, 3, hasDrive ? file.substr(0, 2).c_str() : "");
    if (dir != nullptr) tavplat::copy_text(dir, TAV_PATH_MAX, folder_part(file, hasDrive ? 2 : 0).c_str());
    const std::string base = base_name(file.c_str(), true);
    if (name != nullptr) tavplat::copy_text(name, TAV_PATH_MAX, base.c_str());
    if (out4 != nullptr) out4[0] = '\0';
    if (out5 != nullptr) out5[0] = '\0';
    if (title != nullptr) {
        std::string t = page_title(set->nKind);
        if (!file.empty()) t += "    " + base;
        tavplat::copy_text(title, 400, t.c_str());
    }
    return TAV_OK;
}

short NewPara_Dat_Rd(NewParaSet* set, int no, NewParaRecord* out) {
    if (!in_range(set, no)) return TAV_E_PARAMETER;
    const NewParaRecord& r = set->para[no - 1];
    if (r.wAttr == 0) return TAV_E_FIXED_PARAMETER;
    sets::copy_out(r, out);
    return TAV_OK;
}

short NewPara_SubTile_Rd(NewParaSet* set, int no, char* out) {
    if (!in_range(set, no)) return TAV_E_PARAMETER;
    return sets::read_subtitle(set->para[no - 1], out);
}

short NewPara_ValueString_Rd(NewParaSet* set, int no, int idx, char* out) {
    if (!in_range(set, no) || idx < 1 || idx > kValueTexts) return TAV_E_PARAMETER;
    const char* t = set->para[no - 1].szValueText[idx - 1];
    tavplat::copy_text(out, 40, t);
    return t[0] == '\0' ? TAV_E_PARAMETER : TAV_OK;
}

short NewPara_Skubun_No_Rd(NewParaSet* set, int codeNo, int dir, int* no) {
    const bool searchable = (codeNo >= 0 && codeNo <= 10) || codeNo == kC0 || codeNo == kO0 || codeNo == kZZ ||
                            codeNo == kFF || codeNo == kS2;
    if (!searchable || set->nParaCount <= 0) return TAV_E_PARAMETER;
    const char* code = kCodes[codeNo];
    const int count = std::min(int{set->nParaCount}, kParaCount);  // int{}: a copy, the set is packed
    return sets::find_code(set, count, code, dir == 1 && sets::searched_backwards(codeNo), no);
}

short NewPara_No_Skubun_Rd(NewParaSet* set, int no, int* codeNo) {
    if (!in_range(set, no)) return TAV_E_PARAMETER;
    *codeNo = code_number(set->para[no - 1].szIdCode);
    return TAV_OK;
}

Result NewPara_Dat_Chg(NewParaSet* set, int no, double value) {
    if (!in_range(set, no)) return TAV_E_PARAMETER;
    NewParaRecord& r = set->para[no - 1];
    const bool isSS = code_number(r.szIdCode) == kSS;
    const bool same = r.dValue == value;
    r.dValue = value;
    r.nChgFlag = 1;
    if (!isSS) return TAV_OK;
    return same ? NewPara_Syousuh_Chg(set, 0, 1, 0, 0) : NewPara_Syousuh_Chg(set, 1, 1, 0, 0);
}

Result NewPara_Dat_Init(NewParaSet* set, int no) {
    if (!in_range(set, no)) return TAV_E_PARAMETER;
    const short code = sets::reset_to_initial(set->para[no - 1]);
    if (code != TAV_OK) return code;
    int first = 0;
    // Resetting the decimal position re-derives the set; the reset itself succeeded.
    if (NewPara_Skubun_No_Rd(set, kSS, 0, &first) == TAV_OK && first == no) NewPara_Syousuh_Chg(set, 1, 1, 0, 1);
    return TAV_OK;
}

}  // namespace tav::newpara
