// Listing of a VV table: the print record and the CSV export. The
// description lines are the positioning table's, made from the shared header;
// the point lines carry the two times.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "frame/frame.h"
#include "itivv/itivv.h"
#include "platform/platform.h"
#include "text/text.h"

namespace tav::itivv {

namespace {

constexpr int kUntitled = 10015;
constexpr int kPrintColumns1 = 10046, kPrintColumns2 = 10048, kCsvColumns = 10047;
constexpr int kPrintPointFormat = 10044, kCsvPointFormat = 10045;
constexpr int kCmdTexts = 3500, kStepTexts = 3510, kMValidTexts = 3520, kMTimingTexts = 3530;

// The point-line formats as they always were: used when the catalogue's text
// does not take the same arguments.
constexpr char kPrintPointDefault[] = "%3d %-4s %-9s %12s%8s%8s%8s%7s  %02X   %4s    %4s";
constexpr char kCsvPointDefault[] = "%3d, %-8s, %-9s, %10s, %8s, %6s, %6s, %8s, %5d, %6s, %6s";
constexpr char kPointArgs[] = "dsssssssdss";

void put(char* dst, std::size_t size, const std::string& text) { tavplat::copy_text(dst, size, text.c_str()); }

// A description line of the positioning listing, for this set's header.
std::string description(ItiVvDatSet* set, int index) {
    auto view = std::make_unique<ItiDatSet>();
    header_view(*set, view.get());
    char line[iti::kCtlInfoSize] = {};
    int count = 0;
    iti::Ctl_Inf_Rd(view.get(), index, &count, line);
    return line;
}

// The print record, or with csv its CSV form.
short make_record(ItiVvDatSet* set, ItiVvDatPrintData* out, bool csv) {
    frame::PrintFormScope printForm;
    std::memset(static_cast<void*>(out), 0, sizeof *out);

    char name[sizeof set->szFileName];
    tavplat::copy_text(name, set->szFileName);
    std::string drive, dir, base;
    if (name[0] != '\0') iti::split_path(name, &drive, &dir, &base);
    put(out->szTitle, sizeof out->szTitle, base.empty() ? text::Text(kUntitled) : base);

    const bool hasAmp = set->szAmpNo[0] != '\0';
    const std::string model = hasAmp ? description(set, 4) : std::string();
    if (csv) {
        put(out->szColumnTitle1, sizeof out->szColumnTitle1, text::Text(kCsvColumns) + "\n");
        // Line 3 is the model label and the control-type label.
        put(out->szModelLine, sizeof out->szModelLine, description(set, 3) + (hasAmp ? "," : "") + model + "\n");
    } else {
        put(out->szColumnTitle1, sizeof out->szColumnTitle1, text::Text(kPrintColumns1));
        put(out->szColumnTitle2, sizeof out->szColumnTitle2, text::Text(kPrintColumns2));
        put(out->szModelLine, sizeof out->szModelLine, model);
    }
    out->nLineCount = set->nPointCount;
    const std::string comment = description(set, 10);
    put(out->szCommentLine, sizeof out->szCommentLine, csv ? comment + "\n" : comment);

    const std::string fmt = text::Text(csv ? kCsvPointFormat : kPrintPointFormat);
    const char* fallback = csv ? kCsvPointDefault : kPrintPointDefault;
    const int n = point_count(set);
    short result = TAV_OK;
    for (int i = 0; i < n; ++i) {
        const ItiVvDatPoint& p = set->point[i];
        char pos[64], speed[64], accel[64], decel[64], timer[64];
        iti::format_value(p.dStopPos, set->wStopPosDp, 10, "%10.2f", pos, sizeof pos);
        iti::format_value(p.dSpeed, 2, 6, "%6.2f", speed, sizeof speed);
        iti::format_value(p.dAccelTime, 1, 6, "%6.1f", accel, sizeof accel);
        iti::format_value(p.dDecelTime, 1, 6, "%6.1f", decel, sizeof decel);
        result = iti::format_value(p.dStopTimer, set->wStopTimeDp + 2, 6, "%6.2f", timer, sizeof timer);
        char* line = out->szPointLine[i];
        const std::size_t room = sizeof out->szPointLine[i] - (csv ? 1 : 0);  // room for the line feed
        iti::format_point_line(line, room, fmt, fallback, kPointArgs, p.nDataNo,
                               iti::code_label(kCmdTexts, p.nCmdMode, 2).c_str(),
                               iti::code_label(kStepTexts, p.nStepMode, 4).c_str(), pos, speed, accel, decel, timer,
                               p.nMCode, iti::code_label(kMValidTexts, p.nMValid, 2).c_str(),
                               iti::code_label(kMTimingTexts, p.nMTiming, 2).c_str());
        if (csv) std::strcat(line, "\n");
    }
    return result;
}

short make_csv(ItiVvDatSet* set, ItiVvDatPrintData* out) { return make_record(set, out, true); }

}  // namespace

short Print_mak(ItiVvDatSet* set, ItiVvDatPrintData* out) { return make_record(set, out, false); }

short Ctl_Inf_Rd(ItiVvDatSet* set, int index, int* lineCount, char* out) {
    auto view = std::make_unique<ItiDatSet>();
    header_view(*set, view.get());
    return iti::Ctl_Inf_Rd(view.get(), index, lineCount, out);
}

Result CsvType_Wt(const char* fileName, ItiVvDatSet* set) {
    return iti::write_csv(fileName, set, make_csv, description);
}

}  // namespace tav::itivv
