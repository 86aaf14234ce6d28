// Editing a positioning table in memory, and the small helpers every part of
// the positioning code shares (number texts, decimal moves, path splitting,
// comment building, field parsing).
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <type_traits>

#include "bcd/bcd.h"
#include "frame/frame.h"
#include "iti/iti.h"
#include "platform/platform.h"
#include "text/text.h"

namespace tav::iti {

namespace {

constexpr int kTitleText = 10007;

void store_values(ItiDatPoint& p, int cmdMode, int stepMode, double stopPos, double speed, double stopTimer,
                  int mCode, int mValid, int mTiming) {
    p.nCmdMode = cmdMode;
    p.nStepMode = stepMode;
    p.dStopPos = stopPos;
    p.dSpeed = speed;
    p.dStopTimer = stopTimer;
    p.nMCode = mCode;
    p.nMValid = mValid;
    p.nMTiming = mTiming;
}

}  // namespace

// ------------------------------------------------------------------ editing
template <class Set>
bool valid_point_no(const Set* set, int no) {
    if (no >= 1 && no <= point_count(set)) return true;
    frame::tracef("%d", no);
    return false;
}

template <class Point>
void copy_values(Point& to, const Point& from) {
    to.nCmdMode = from.nCmdMode;
    to.nStepMode = from.nStepMode;
    to.dStopPos = from.dStopPos;
    to.dSpeed = from.dSpeed;
    if constexpr (kHasTimes<Point>) {
        to.dAccelTime = from.dAccelTime;
        to.dDecelTime = from.dDecelTime;
    }
    to.dStopTimer = from.dStopTimer;
    to.nMCode = from.nMCode;
    to.nMValid = from.nMValid;
    to.nMTiming = from.nMTiming;
}

template <class Set>
void open_gap(Set* set, int no) {
    for (int i = point_count(set); i > no; --i) {
        auto& to = set->point[i - 1];
        copy_values(to, set->point[i - 2]);
        if (to.nChgFlag == 0) to.nChgFlag = 2;
    }
}

template <class Set>
Result Dat_Init(Set* set, int no) {
    if (!valid_point_no(set, no)) return TAV_E_PARAMETER;
    auto& p = set->point[no - 1];
    p.nChgFlag = 1;
    p.nCmdMode = 1;
    p.nStepMode = 0;
    p.dStopPos = p.dSpeed = p.dStopTimer = 0.0;
    if constexpr (kHasTimes<std::remove_cvref_t<decltype(p)>>) p.dAccelTime = p.dDecelTime = 0.0;
    p.nMCode = 0;
    p.nStatus = 0;
    return TAV_OK;
}

template <class Set, class Point>
short Dat_Rd(Set* set, int no, Point* out) {
    if (!valid_point_no(set, no)) return TAV_E_PARAMETER;
    const Point& p = set->point[no - 1];
    // The host reads the two M-code flags from the set itself.
    out->nDataNo = p.nDataNo;
    out->nChgFlag = p.nChgFlag;
    out->nCmdMode = p.nCmdMode;
    out->nStepMode = p.nStepMode;
    out->dStopPos = p.dStopPos;
    out->dSpeed = p.dSpeed;
    if constexpr (kHasTimes<Point>) {
        out->dAccelTime = p.dAccelTime;
        out->dDecelTime = p.dDecelTime;
    }
    out->dStopTimer = p.dStopTimer;
    out->nMCode = p.nMCode;
    out->nStatus = p.nStatus;
    return TAV_OK;
}

#define TAV_ITI_EDITING_FOR(Set, Point)                           \
    template bool valid_point_no<Set>(const Set*, int);           \
    template void copy_values<Point>(Point&, const Point&);       \
    template void open_gap<Set>(Set*, int);                       \
    template Result Dat_Init<Set>(Set*, int);                      \
    template short Dat_Rd<Set, Point>(Set*, int, Point*);
TAV_ITI_EDITING_FOR(ItiDatSet, ItiDatPoint)
TAV_ITI_EDITING_FOR(ItiVvDatSet, ItiVvDatPoint)
#undef TAV_ITI_EDITING_FOR

Result Dat_Chg(ItiDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed, double stopTimer,
              int mCode, int mValid, int mTiming) {
    frame::CheckDiagnosticMarkers();
    if (!valid_point_no(set, no)) return TAV_E_PARAMETER;
    ItiDatPoint& p = set->point[no - 1];
    store_values(p, cmdMode, stepMode, stopPos, speed, stopTimer, mCode, mValid, mTiming);
    p.nChgFlag = 1;
    return TAV_OK;
}

Result Dat_Insert(ItiDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed,
                 double stopTimer, int mCode, int mValid, int mTiming) {
    if (!valid_point_no(set, no)) return TAV_E_PARAMETER;
    open_gap(set, no);
    return Dat_Chg(set, no, cmdMode, stepMode, stopPos, speed, stopTimer, mCode, mValid, mTiming);
}

template <class Set>
Result Att_Chg(Set* set, unsigned short dp) {
    if (dp > 5) return TAV_E_PARAMETER;
    if (dp != set->wStopPosDp) {
        const int n = point_count(set);
        for (int i = 0; i < n; ++i)
            set->point[i].dStopPos = move_decimal(set->point[i].dStopPos, 10, set->wStopPosDp, dp);
    }
    set->wStopPosDp = dp;
    return TAV_OK;
}

template <class Set>
Result Att_Chg2(Set* set, unsigned short code) {
    if (code > 1) return TAV_E_PARAMETER;
    if (code != set->wStopTimeDp) {
        const int n = point_count(set);
        for (int i = 0; i < n; ++i)
            set->point[i].dStopTimer = move_decimal(set->point[i].dStopTimer, 6, set->wStopTimeDp + 2, code + 2);
    }
    set->wStopTimeDp = code;
    return TAV_OK;
}

template <class Set>
Result FileName_Chg(Set* set, const char* name) {
    if (name == nullptr || name[0] == '\0') return TAV_E_PARAMETER;
    tavplat::copy_text(set->szFileName, name);
    return TAV_OK;
}

template <class Set>
short FileCmt_Rd(Set* set, char* out) {
    tavplat::copy_text(out, sizeof set->szComment, set->szComment);
    return TAV_OK;
}

template <class Set>
Result FileCmt_Wt(Set* set, const char* text) {
    if (text == nullptr) text = "";
    if (std::strlen(text) > kCommentMax) return TAV_E_PARAMETER;
    tavplat::copy_text(set->szComment, text);
    return TAV_OK;
}

// Both tables' instances of the shared editing functions.
#define TAV_ITI_EDITING_FOR(Set)                                     \
    template Result Att_Chg<Set>(Set*, unsigned short);               \
    template Result Att_Chg2<Set>(Set*, unsigned short);              \
    template Result FileName_Chg<Set>(Set*, const char*);             \
    template short FileCmt_Rd<Set>(Set*, char*);                     \
    template Result FileCmt_Wt<Set>(Set*, const char*);
TAV_ITI_EDITING_FOR(ItiDatSet)
TAV_ITI_EDITING_FOR(ItiVvDatSet)
#undef TAV_ITI_EDITING_FOR

short Title_Rd(ItiDatSet* set, char* drive, char* dir, char* baseName, char* out4, char* out5, char* title) {
    char* outs[] = {drive, dir, baseName, out4, out5, title};
    for (char* o : outs)
        if (o != nullptr) o[0] = '\0';
    char name[sizeof set->szFileName];
    tavplat::copy_text(name, set->szFileName);
    std::string d, f, b;
    if (name[0] != '\0') split_path(name, &d, &f, &b);
    if (drive != nullptr) tavplat::copy_text(drive, TAV_PATH_MAX, d.c_str());
    if (dir != nullptr) tavplat::copy_text(dir, TAV_PATH_MAX, f.c_str());
    if (baseName != nullptr) tavplat::copy_text(baseName, TAV_PATH_MAX, b.c_str());
    if (title != nullptr) {
        std::string t = text::Text(kTitleText);
        if (!b.empty()) t += "    " + b;
        tavplat::copy_text(title, TAV_PATH_MAX, t.c_str());
    }
    return TAV_OK;
}

// ------------------------------------------------------------ shared helpers
short format_value(double value, int places, int digits, const char* fallback, char* out, std::size_t size) {
    char text[bcd::kTextMax] = {};
    const short code = bcd::Double_to_Char(value, places * 256, digits, text);
    if (code == TAV_OK)
        tavplat::copy_text(out, size, text);
    else
        tavplat::format_text(out, size, fallback, value);
    return code;
}

double move_decimal(double value, int digits, int oldPlaces, int newPlaces) {
    unsigned char field[bcd::kBcdFieldMax] = {};
    bcd::Double_to_Bcd(value, (oldPlaces & 0x0F) * 256, digits, field);
    field[0] = static_cast<unsigned char>(((newPlaces & 0x0F) << 4) | (field[0] & 0x0F));
    double moved = value;
    bcd::Bcd_to_Double(field, digits, &moved);
    return moved;
}

short read_bcd(const unsigned char* field, int digits, int places, double* out) {
    unsigned char copy[bcd::kBcdFieldMax] = {};
    std::memcpy(copy, field, 1 + static_cast<std::size_t>(digits) / 2);
    copy[0] = static_cast<unsigned char>(((places & 0x0F) << 4) | (copy[0] & 0x0F));
    double v = 0.0;
    const short code = bcd::Bcd_to_Double(copy, digits, &v);
    *out = code == TAV_OK ? v : 0.0;
    return code;
}

short write_bcd(double value, int digits, int places, unsigned char* field) {
    unsigned char packed[bcd::kBcdFieldMax] = {};
    const short code = bcd::Double_to_Bcd(value, (places & 0x0F) * 256, digits, packed);
    std::memcpy(field, packed, 1 + static_cast<std::size_t>(digits) / 2);
    return code;
}

unsigned block_progress(int n, int k) {
    if (k >= n) return 100;
    return static_cast<unsigned>((100 * (396 - n + k)) / 396);
}

int parse_dec(const char* text) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text) return 0;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

unsigned long parse_hex(const char* text) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 16);
    return end == text ? 0 : v;
}

double parse_real(const char* text) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || !std::isfinite(v)) return 0.0;
    return v;
}

int read_point_fields(const char* line, char (*fields)[64], int maxFields) {
    int n = 0;
    const char* p = line;
    while (n < maxFields && p != nullptr) {
        p = frame::GetCommaField(p, fields[n], sizeof fields[n]);
        if (fields[n][0] == '\0') break;
        ++n;
    }
    return n;
}

void split_path(const char* path, std::string* drive, std::string* dir, std::string* base) {
    const std::size_t len = std::strlen(path);
    std::size_t end = len, start = 0;
    for (std::size_t i = len; i > 0; --i) {
        const char c = path[i - 1];
        if (c == '\\' || c == '/' || c == ':') {
            start = i;
            break;
        }
        if (c == '.') end = i - 1;  // the base name ends at its first '.'
    }
    *base = std::string(path + start, end > start ? end - start : 0);
    drive->clear();
    dir->clear();
    // A path without a drive letter keeps its folder from the first character.
    const std::size_t from = len >= 2 && path[1] == ':' ? 2 : 0;
    if (from == 2) *drive = std::string(path, 2);
    if (start > from) *dir = std::string(path + from, start - from);
}

std::string file_part(const char* path) {
    const char* start = path;
    for (const char* p = path; *p != '\0'; ++p)
        if (*p == '\\' || *p == '/' || *p == ':') start = p + 1;
    return start;
}

CommentBuilder::CommentBuilder(char* area, std::size_t size) : area_(area), size_(size) {
    len_ = strnlen(area_, size_);
    if (len_ >= size_) len_ = size_ - 1;
    area_[len_] = '\0';
}

bool CommentBuilder::add(char c) {
    if (full_) return false;
    const std::size_t cap = kCommentMax < size_ - 1 ? kCommentMax : size_ - 1;
    const std::size_t need = c == '\n' ? 2 : 1;
    if (len_ + need > cap) {
        full_ = true;
        return false;
    }
    if (c == '\n') area_[len_++] = '\r';
    area_[len_++] = c;
    area_[len_] = '\0';
    return true;
}

void CommentBuilder::add(const char* text) {
    while (*text != '\0' && add(*text)) ++text;
}

bool read_line(FILE* f, char* buf, int limit) {
    buf[0] = '\0';
    return std::fgets(buf, limit, f) != nullptr;
}

void trace_file_name(const char* path) {
    // "ﾌｧｲﾙ名=[%s]" in code page 932.
    frame::tracef("\xCC\xA7\xB2\xD9\x96\xBC=[%s]", path);
}

bool has_extension(const char* name, const char* ext) {
    const std::size_t n = std::strlen(name), e = std::strlen(ext);
    return n >= e && strcasecmp(name + n - e, ext) == 0;
}

const char* model_word(int model) {
    switch (model) {
        case 0: return "VEL";
        case 1: return "ROR";
        case 2: return "LIN";
        default: return "ETC";
    }
}

}  // namespace tav::iti
