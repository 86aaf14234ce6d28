// Listing of a positioning table: the print record, the description lines
// and the CSV export.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "frame/frame.h"
#include "iti/iti.h"
#include "line/line.h"
#include "platform/platform.h"
#include "sets/file_frame.h"
#include "text/text.h"

namespace tav::iti {

namespace {

// Catalogue texts of the listing.
constexpr int kTitleText = 10007, kUntitled = 10015, kModelLabel = 10004, kAmpTypeLabel = 10021;
constexpr int kInterfaceLabel = 10026, kExtIoLabel = 10027, kOptionLabel = 10028, kMotorLabel = 10029;
constexpr int kReadDateLabel = 10030, kCommentLabel = 10031, kFileLabel = 10032, kMemoryLabel = 10040;
constexpr int kVersionLabel = 10041;
constexpr int kPrintColumns1 = 10013, kPrintColumns2 = 10039, kCsvColumns = 10019;
constexpr int kPrintPointFormat = 10014, kCsvPointFormat = 10020;
constexpr int kControlLabels = 10022;  // 10022..10025: V, R, L, other
constexpr int kCmdTexts = 3500, kStepTexts = 3510, kMValidTexts = 3520, kMTimingTexts = 3530;
// Rows of the identification tables: row id = base + code byte.
constexpr long kControlRows = 3640, kInterfaceRowsA = 3690, kInterfaceRowsB = 3695, kExtIoTexts = 3700;
constexpr long kOptionTexts = 3710, kSpeedKesta7 = 5000, kSpeedMini = 12000;
constexpr long kCapacityA = 6000, kCapacityB = 6500, kVoltage = 7500;
constexpr unsigned kKesta7 = 0x30;
constexpr int kDescriptionLines = 9;

// The point-line formats as they always were: used when the catalogue's
// text does not take the same arguments.
constexpr char kPrintPointDefault[] = "%3d  %-4s  %-9s %12s  %8s   %8s     %02X    %10s %10s";
constexpr char kCsvPointDefault[] = "%3d, %-8s, %-9s, %10s, %8s, %8s, %5d, %10s, %10s";
constexpr char kPointArgs[] = "dsssssdss";  // the VV point line has two texts more

// A catalogue text by a computed id; ids beyond the catalogue give "".
std::string text_at(long id) {
    if (id < 0 || id > 65535) return "";
    return text::Text(static_cast<unsigned>(id));
}

std::string field(const std::string& row, int index) {
    char f[256] = {};
    const char* p = row.c_str();
    for (int i = 0; i <= index && p != nullptr; ++i) p = frame::GetCommaField(p, f, sizeof f);
    return p == nullptr && f[0] == '\0' ? std::string() : std::string(f);
}

std::string row_field(long id, int index) { return field(text_at(id), index); }

// True when fmt converts exactly the argument kinds given ('d' integer,
// 's' text) with flags and widths only.
bool format_takes(const char* fmt, const char* kinds) {
    for (const char* p = fmt; *p != '\0'; ++p) {
        if (*p != '%') continue;
        ++p;
        if (*p == '%') continue;
        while (*p == '-' || *p == '0' || *p == ' ' || *p == '+' || *p == '#') ++p;
        while (*p >= '0' && *p <= '9') ++p;
        char kind;
        if (*p == 'd' || *p == 'i' || *p == 'x' || *p == 'X' || *p == 'u' || *p == 'o') kind = 'd';
        else if (*p == 's') kind = 's';
        else return false;
        if (*kinds != kind) return false;
        ++kinds;
    }
    return *kinds == '\0';
}

std::string control_label(int model) { return text_at(kControlLabels + (model >= 0 && model <= 2 ? model : 3)); }

std::string amp_model_name(const ItiDatSet* s) {
    const bool kesta7 = s->nFamily == kKesta7;
    std::string name = kesta7 ? "QMT " : "QMH ";
    name += row_field((kesta7 && s->byInfo1 != 0 ? kCapacityB : kCapacityA) + s->byInfo2, 0);
    name += row_field((kesta7 ? kSpeedKesta7 : kSpeedMini) + s->byInfo1, 0);
    name += "5 - ";
    name += row_field(kControlRows + static_cast<long>(s->nModel), 0);
    name += row_field(kInterfaceRowsB + static_cast<long>(s->nInterface), 0);
    name += " ";
    name += row_field(kVoltage + s->byInfo3, 0);
    return name;
}

// The motor name from the identification bytes the set keeps, composed as
// the identification composes it.
std::string motor_name(const ItiDatSet* s) {
    if (s->byInfo10 == 0xFF) return "NV* ****** - ***";
    return line::MotorName(s->byInfo10, s->byInfo11, s->byInfo12, s->byInfo14,
                           [](unsigned id) { return text_at(id); });
}

short description_line(ItiDatSet* s, int index, std::string* out) {
    out->clear();
    switch (index) {
        case 1: *out = text_at(kTitleText); break;
        case 2: {
            char name[sizeof s->szFileName];
            tavplat::copy_text(name, s->szFileName);
            *out = text_at(kFileLabel) + (name[0] != '\0' ? file_part(name) : text_at(kUntitled));
            break;
        }
        case 3: *out = text_at(kModelLabel) + control_label(s->nModel); break;
        case 4: *out = text_at(kAmpTypeLabel) + amp_model_name(s); break;
        case 5: *out = text_at(kInterfaceLabel) + row_field(kInterfaceRowsA + static_cast<long>(s->nInterface), 1); break;
        case 6: *out = text_at(kExtIoLabel) + (s->byInfo7 > 3 ? std::string("?") : text_at(kExtIoTexts + s->byInfo7)); break;
        case 7: *out = text_at(kOptionLabel) + (s->byInfo8 > 5 ? std::string("?") : text_at(kOptionTexts + s->byInfo8)); break;
        case 8: *out = text_at(kMotorLabel) + motor_name(s); break;
        case 9: {
            char date[sizeof s->szReadDate + 1];
            tavplat::copy_text(date, s->szReadDate);
            *out = text_at(kReadDateLabel) + (s->szAmpNo[0] != '\0' ? std::string(date) : std::string(" - "));
            break;
        }
        case 10: {
            std::string comment(s->szComment, strnlen(s->szComment, sizeof s->szComment));
            *out = text_at(kCommentLabel) + comment;
            break;
        }
        case 11: {
            char amp[sizeof s->szAmpNo + 1];
            tavplat::copy_text(amp, s->szAmpNo);
            const int number = parse_dec(amp);
            if (amp[0] == '\0' || number <= 0) return TAV_E_STATION;
            *out = text_at(kMemoryLabel) + std::to_string(number & 0x0F);
            break;
        }
        case 12: {
            char version[16] = {};
            frame::GetVersion(version);
            *out = text_at(kVersionLabel) + version;
            break;
        }
        default: return TAV_E_PARAMETER;
    }
    return TAV_OK;
}

void put(char* dst, std::size_t size, const std::string& text) { tavplat::copy_text(dst, size, text.c_str()); }

std::string describe(ItiDatSet* set, int index) {
    std::string line;
    description_line(set, index, &line);
    return line;
}

// The print record, or with csv its CSV form.
short make_record(ItiDatSet* set, ItiDatPrintData* out, bool csv);

short make_csv(ItiDatSet* set, ItiDatPrintData* out) { return make_record(set, out, true); }

}  // namespace

std::string code_label(long base, long value, long count) {
    return value >= 0 && value < count ? text_at(base + value) : std::string();
}

void format_point_line(char* dst, std::size_t size, const std::string& fmt, const char* fallback, const char* kinds,
                       ...) {
    va_list ap;
    va_start(ap, kinds);
    const char* use = format_takes(fmt.c_str(), kinds) ? fmt.c_str() : fallback;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::vsnprintf(dst, size, use, ap);
#pragma GCC diagnostic pop
    va_end(ap);
}

template <class Set, class PrintData>
Result write_csv(const char* fileName, Set* set, short (*makeCsv)(Set* set, PrintData* out),
                std::string (*describe)(Set* set, int index)) {
    if (fileName == nullptr || fileName[0] == '\0') return TAV_E_PARAMETER;
    return sets::write_csv_listing(
        fileName, trace_file_name, {1, 3, 4, 5, 8, 12, 9}, [&](int index) { return describe(set, index); },
        [&](std::string* text) -> short {
            auto record = std::make_unique<PrintData>();
            const short made = makeCsv(set, record.get());
            if (made != TAV_OK) return made;
            *text += record->szCommentLine;
            *text += record->szColumnTitle1;
            const int n = point_count(set);
            for (int i = 0; i < n; ++i) *text += record->szPointLine[i];
            return TAV_OK;
        });
}

// Both tables' CSV exports.
template Result write_csv<ItiDatSet, ItiDatPrintData>(const char*, ItiDatSet*,
                                                     short (*)(ItiDatSet*, ItiDatPrintData*),
                                                     std::string (*)(ItiDatSet*, int));
template Result write_csv<ItiVvDatSet, ItiVvDatPrintData>(const char*, ItiVvDatSet*,
                                                         short (*)(ItiVvDatSet*, ItiVvDatPrintData*),
                                                         std::string (*)(ItiVvDatSet*, int));

short Print_mak(ItiDatSet* set, ItiDatPrintData* out) { return make_record(set, out, false); }

namespace {

short make_record(ItiDatSet* set, ItiDatPrintData* out, bool csv) {
    frame::PrintFormScope printForm;
    std::memset(out, 0, sizeof *out);

    char name[sizeof set->szFileName];
    tavplat::copy_text(name, set->szFileName);
    std::string drive, dir, base;
    if (name[0] != '\0') split_path(name, &drive, &dir, &base);
    put(out->szTitle, sizeof out->szTitle, base.empty() ? text_at(kUntitled) : base);

    const bool hasAmp = set->szAmpNo[0] != '\0';
    std::string model;
    if (hasAmp) description_line(set, 4, &model);
    if (csv) {
        put(out->szColumnTitle1, sizeof out->szColumnTitle1, text_at(kCsvColumns) + "\n");
        put(out->szModelLine, sizeof out->szModelLine,
            text_at(kModelLabel) + control_label(set->nModel) + (hasAmp ? "," : "") + model + "\n");
    } else {
        put(out->szColumnTitle1, sizeof out->szColumnTitle1, text_at(kPrintColumns1));
        put(out->szColumnTitle2, sizeof out->szColumnTitle2, text_at(kPrintColumns2));
        put(out->szModelLine, sizeof out->szModelLine, model);
    }
    out->nLineCount = set->nPointCount;
    std::string comment;
    description_line(set, 10, &comment);
    put(out->szCommentLine, sizeof out->szCommentLine, csv ? comment + "\n" : comment);

    const std::string fmt = text_at(csv ? kCsvPointFormat : kPrintPointFormat);
    const char* fallback = csv ? kCsvPointDefault : kPrintPointDefault;
    const int n = point_count(set);
    short result = TAV_OK;
    for (int i = 0; i < n; ++i) {
        const ItiDatPoint& p = set->point[i];
        char pos[64], speed[64], timer[64];
        format_value(p.dStopPos, set->wStopPosDp, 10, "%10.2f", pos, sizeof pos);
        format_value(p.dSpeed, 2, 6, "%6.2f", speed, sizeof speed);
        result = format_value(p.dStopTimer, set->wStopTimeDp + 2, 6, "%6.2f", timer, sizeof timer);
        char* line = out->szPointLine[i];
        const std::size_t room = sizeof out->szPointLine[i] - (csv ? 1 : 0);
        format_point_line(line, room, fmt, fallback, kPointArgs, p.nDataNo, code_label(kCmdTexts, p.nCmdMode, 2).c_str(),
                          code_label(kStepTexts, p.nStepMode, 4).c_str(), pos, speed, timer, p.nMCode,
                          code_label(kMValidTexts, p.nMValid, 2).c_str(),
                          code_label(kMTimingTexts, p.nMTiming, 2).c_str());
        if (csv) std::strcat(line, "\n");
    }
    return result;
}

}  // namespace

short Ctl_Inf_Rd(ItiDatSet* set, int index, int* lineCount, char* out) {
    if (lineCount != nullptr) *lineCount = kDescriptionLines;
    std::string line;
    const short code = description_line(set, index, &line);
    if (out != nullptr) put(out, kCtlInfoSize, code == TAV_OK ? line : std::string());
    return code;
}

Result CsvType_Wt(const char* fileName, ItiDatSet* set) { return write_csv(fileName, set, make_csv, describe); }

}  // namespace tav::iti
