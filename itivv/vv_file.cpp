// The VV data file (".k7v" for KESTA7, ".m7v" for KESTA7 Mini): reader,
// writer and the creation of a new table from a VV template. The layout is
// the positioning file's with two more values a line; the identification
// line, template line and comment handling are the positioning table's.
#include <cstdio>
#include <cstring>
#include <string>

#include "comm/comm.h"
#include "frame/frame.h"
#include "itivv/itivv.h"
#include "line/line.h"
#include "platform/platform.h"
#include "text/text.h"

namespace tav::itivv {

namespace {

constexpr int kColumnTitleText = 10043;
constexpr int kTemplatePathId = 55;  // 55 + model for LIN and LIN_KB, else 55
constexpr int kKindK7v = 7, kKindM7v = 9;
constexpr unsigned kKesta7 = 0x30, kKesta7Mini = 0x40;
constexpr std::size_t kAmpNameMax = 91;

// The model handed to Create, for the template read it runs; -1 outside it.
// Kept apart from the positioning table's.
int g_createModel = -1;

class File {
public:
    explicit File(FILE* f) : f_(f) {}
    ~File() {
        if (f_ != nullptr) std::fclose(f_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    FILE* get() const { return f_; }
    bool close() {
        const bool ok = f_ == nullptr || std::fclose(f_) == 0;
        f_ = nullptr;
        return ok;
    }

private:
    FILE* f_;
};

void read_point(const char* line, ItiVvDatPoint& p) {
    char f[kColumns][64] = {};
    const int n = iti::read_point_fields(line, f, kColumns);
    // Fields after the first empty one keep the cleared zero.
    if (n > 0) p.nDataNo = iti::parse_dec(f[0]);
    if (n > 1) p.nChgFlag = iti::parse_dec(f[1]);
    if (n > 2) p.nCmdMode = iti::parse_dec(f[2]);
    if (n > 3) p.nStepMode = iti::parse_dec(f[3]);
    if (n > 4) p.dStopPos = iti::parse_real(f[4]);
    if (n > 5) p.dSpeed = iti::parse_real(f[5]);
    if (n > 6) p.dAccelTime = iti::parse_real(f[6]);
    if (n > 7) p.dDecelTime = iti::parse_real(f[7]);
    if (n > 8) p.dStopTimer = iti::parse_real(f[8]);
    if (n > 9) p.nMCode = iti::parse_dec(f[9]);
    if (n > 10) p.nMValid = iti::parse_dec(f[10]);
    if (n > 11) p.nMTiming = iti::parse_dec(f[11]);
    p.nStatus = 0;
}

// The rest of the file after the point lines: the amplifier-name line and the
// comment, as in a positioning file.
void read_tail(FILE* f, char* commentArea, std::size_t commentSize) {
    if (std::feof(f)) return;
    char* name = line::amp_name_from_file();
    char buf[iti::kFileLineLimit];
    if (!iti::read_line(f, buf, sizeof buf)) {
        name[0] = '\0';
        return;
    }
    iti::CommentBuilder comment(commentArea, commentSize);
    if (const char* at = std::strstr(buf, "ampname=")) {
        std::string text(at + std::strlen("ampname="));
        if (!text.empty() && text.back() == '\n') text.pop_back();
        if (text.size() > kAmpNameMax) text.resize(kAmpNameMax);
        tavplat::copy_text(name, line::kAmpNameSize, text.c_str());
    } else {
        name[0] = '\0';
        comment.add(buf);
    }
    int c;
    while ((c = std::fgetc(f)) != EOF)
        if (!comment.add(static_cast<char>(c))) break;
}

bool vv_name(const char* name) { return iti::has_extension(name, ".k7v") || iti::has_extension(name, ".m7v"); }

}  // namespace

short DatFil_Rd(const char* fileName, ItiVvDatSet* set) {
    set->nProgressTotal = 10;
    const bool named = fileName != nullptr && fileName[0] != '\0';
    char path[TAV_PATH_MAX] = {};
    unsigned controlType = 0, bus = 0;
    unsigned family = kKesta7;
    if (named) {
        int kind = -1, model = 0;
        const short code = line::File_Chk(fileName, &kind, &model, nullptr, nullptr, nullptr);
        if (code != TAV_OK) return code;
        if ((kind != kKindK7v && kind != kKindM7v) || model == 4) return TAV_E_FILE_NAME;
        family = kind == kKindM7v ? kKesta7Mini : kKesta7;  // the extension tells the family
        tavplat::copy_text(path, fileName);
    } else {
        int model = g_createModel;
        if (model < 0) {
            LineSettings settings{};
            if (line::Set_Rd(&settings) == TAV_OK) {
                model = settings.nModel;
                family = static_cast<unsigned>(settings.nTenth);
            } else {
                model = 0;
            }
        }
        const int id = (model == 2 || model == 4) ? kTemplatePathId + model : kTemplatePathId;
        const short code = comm::full_path(id, path);
        if (code != TAV_OK) return code;
        if (line::AmpModelNumber(static_cast<unsigned>(model), &controlType, &bus) != TAV_OK) controlType = bus = 0;
    }

    File file(tavplat::fopen_text(path, "r"));
    if (file.get() == nullptr) {
        iti::trace_file_name(path);
        return TAV_E_NO_FILE;
    }

    iti::clear_for_read(set);
    if (named) {
        tavplat::copy_text(set->szFileName, fileName);
        line::set_amp_name_from_file_sel(1);
        bus = 0;
    } else {
        tavplat::copy_text(set->szAmpNo, "0");
        controlType = 0;  // a VV template always makes a V-type table (L-type: 2)
    }
    set->nModel = static_cast<int32_t>(controlType);
    set->byInfo6 = static_cast<uint8_t>(bus);
    iti::set_ident_defaults(set);
    set->nFamily = family;
    set->nPointCount = kMaxPoints;
    set->nColumnCount = kColumns;

    char buf[iti::kFileLineLimit];
    iti::read_line(file.get(), buf, sizeof buf);
    if (named) {
        char tag[iti::kFileLineLimit] = {};
        iti::read_ident_line(buf, set, tag, sizeof tag);
    } else {
        iti::read_template_line(buf, set);
    }
    // Every VV file has its column-title line, whatever its version tag says.
    iti::read_line(file.get(), buf, sizeof buf);

    for (int i = 0; i < kMaxPoints; ++i) {
        if (!iti::read_line(file.get(), buf, sizeof buf)) break;
        read_point(buf, set->point[i]);
        ++set->nProgressDone;
        if (set->nCancel == TAV_E_CANCELLED) return TAV_E_CANCELLED;
    }
    read_tail(file.get(), set->szComment, sizeof set->szComment);
    return TAV_OK;
}

short DatFil_Wt(const char* fileName, ItiVvDatSet* set) {
    const int n = point_count(set);
    set->nProgressTotal = set->nPointCount;
    char target[TAV_PATH_MAX];
    tavplat::copy_text(target, fileName != nullptr && fileName[0] != '\0' ? fileName : set->szFileName);
    if (target[0] == '\0') return TAV_E_NO_TARGET_FILE;
    if (std::strlen(target) < 5) return TAV_E_FILE_NAME;
    if (iti::has_extension(target, ".csv")) return CsvType_Wt(target, set);
    if (!vv_name(target)) return TAV_E_FILE_NAME;

    File file(tavplat::fopen_text(target, "w"));
    if (file.get() == nullptr) {
        iti::trace_file_name(target);
        return TAV_E_READ_ONLY;
    }
    char version[16] = {};
    frame::GetVersion(version);
    std::fputs(iti::ident_line(*set, version).c_str(), file.get());
    std::fputs(text::Text(kColumnTitleText).c_str(), file.get());

    short result = TAV_OK;
    for (int i = 0; i < n; ++i) {
        const ItiVvDatPoint& p = set->point[i];
        char pos[64], speed[64], accel[64], decel[64], timer[64], line[iti::kFileLineLimit];
        iti::format_value(p.dStopPos, set->wStopPosDp, 10, "%10.2f", pos, sizeof pos);
        iti::format_value(p.dSpeed, 2, 6, "%6.2f", speed, sizeof speed);
        iti::format_value(p.dAccelTime, 1, 6, "%6.1f", accel, sizeof accel);
        iti::format_value(p.dDecelTime, 1, 6, "%6.1f", decel, sizeof decel);
        result = iti::format_value(p.dStopTimer, set->wStopTimeDp + 2, 6, "%6.2f", timer, sizeof timer);
        tavplat::format_text(line, sizeof line, "%03d, %d, %02d, %02d, %s, %s, %s, %s, %s, %03d, %d, %d\n",
                             p.nDataNo, 0, p.nCmdMode, p.nStepMode, pos, speed, accel, decel, timer, p.nMCode,
                             p.nMValid, p.nMTiming);
        if (std::fputs(line, file.get()) == EOF) {
            result = TAV_E_DISK_FULL;
            break;
        }
        ++set->nProgressDone;
        if (set->nCancel == TAV_E_CANCELLED) {
            result = TAV_E_CANCELLED;
            break;
        }
    }
    if (result == TAV_OK) {
        const char* name = line::amp_name_for_file();
        if (name[0] != '\0') std::fprintf(file.get(), "ampname=%s\n", name);
        const std::size_t len = strnlen(set->szComment, sizeof set->szComment);
        for (std::size_t i = 0; i < len; ++i) {
            if (set->szComment[i] == '\r') continue;
            if (std::fputc(set->szComment[i], file.get()) == EOF) break;
        }
    }
    if (!file.close() && result == TAV_OK) result = TAV_E_DISK_FULL;
    if (result == TAV_OK)
        for (int i = 0; i < n; ++i) set->point[i].nChgFlag = 0;
    return result;
}

short DatFil_Create(int model, ItiVvDatSet* set) {
    set->nProgressTotal = 0;
    set->nProgressDone = 0;
    g_createModel = model < 0 ? 0 : model;
    frame::CheckDiagnosticMarkersWithProbe();
    const short code = DatFil_Rd(nullptr, set);
    g_createModel = -1;
    return code;
}

}  // namespace tav::itivv
