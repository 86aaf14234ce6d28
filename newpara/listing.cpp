// Listing of an extended parameter set for printing, and its CSV export.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "bcd/bcd.h"
#include "frame/frame.h"
#include "newpara/state.h"
#include "platform/platform.h"
#include "sets/file_frame.h"
#include "text/text.h"

namespace tav::newpara {

namespace {

constexpr const char* kPrintLine = "%1d_%02d  %-42s  %10s  %-54s";


// The conversion letters of a printf format ("%1d_%02d %s" gives "dds"), or
// "?" when it holds anything but plain flags, widths and precisions.
std::string conversions(const std::string& fmt) {
    std::string out;
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != '%') continue;
        ++i;
        if (i < fmt.size() && fmt[i] == '%') continue;
        while (i < fmt.size() && std::strchr("-+ #0123456789.", fmt[i]) != nullptr && fmt[i] != '\0') ++i;
        if (i >= fmt.size() || (fmt[i] != 'd' && fmt[i] != 's')) return "?";
        out += fmt[i];
    }
    return out;
}

// The catalogue's line format when it takes the listing's arguments, else the built-in one.
std::string print_format() {
    const std::string fmt = text::Text(10012);
    return conversions(fmt) == "ddsss" ? fmt : kPrintLine;
}

void value_text(double v, unsigned attr, bool leadingBlank, char* out) {
    if ((attr & 0x0002) != 0) {
        tavplat::format_text(out, bcd::kTextMax, leadingBlank ? " %10llXH" : "%10llXH",
                             static_cast<unsigned long long>(truncated(v)));
    } else {
        format_value(v, attr, out);
    }
}

// The print record, or with csv its CSV form.
short make_print(NewParaSet* set, NewParaPrint* out, bool csv);

}  // namespace

short NewParaPrint_Mak(NewParaSet* set, NewParaPrint* out) { return make_print(set, out, false); }

namespace {

short make_print(NewParaSet* set, NewParaPrint* out, bool csv) {
    set->nPrintFirst = 0;
    set->nPrintCount = kParaCount;
    out->nLines = kParaCount;
    const int count = std::min(std::max(int{set->nParaCount}, 0), kParaCount);  // int{}: a copy, the set is packed
    NewParaRecord& saved = state().printedRecord;
    for (int i = 0; i < count; ++i) {
        NewParaRecord& r = set->para[i];
        if (r.wAttr == 0) continue;
        std::memcpy(&saved, &r, sizeof saved);
        const short code = NewPara_Dat_Chg(set, i + 1, r.dValue);
        std::memcpy(&r, &saved, sizeof saved);
        if (code != TAV_OK) r.nResult = code;
    }
    const std::string comment(set->szComment, strnlen(set->szComment, sizeof set->szComment));
    tavplat::copy_text(out->szCommentLine, (text::Text(10031) + comment + (csv ? "\n" : "")).c_str());
    out->nLines = set->nParaCount;
    const std::string base = base_name(set->szFileName, true);
    tavplat::copy_text(out->szFileTitle, (base.empty() ? text::Text(10015) : base).c_str());
    // The CSV header's trailing blanks give way so that its line feed fits the area.
    std::string csvHeader = "PA " + text::Text(10017);
    while (csvHeader.size() + 1 >= sizeof out->szHeader && !csvHeader.empty() && csvHeader.back() == ' ')
        csvHeader.pop_back();
    tavplat::copy_text(out->szHeader, (csv ? csvHeader + "\n" : text::Text(10011)).c_str());
    out->szAmpType[0] = '\0';
    if (!csv && set->szAmpNo[0] != '\0') {
        char info[kInfoLineSize];
        NewPara_Ctl_Inf_Rd(set, 4, nullptr, info);
        tavplat::copy_text(out->szAmpType, info);
    }
    tavplat::copy_text(out->szTitle, text::Text(10005).c_str());

    const std::string fmt = print_format();
    {
        frame::PrintFormScope printForm;
        for (int i = 0; i < kParaCount; ++i) {
            const NewParaRecord& r = set->para[i];
            char value[bcd::kTextMax], initial[bcd::kTextMax];
            value_text(r.dValue, r.wAttr, true, value);
            value_text(r.dInitial, r.wAttr, false, initial);
            char* line = out->szLine[i];
            const std::size_t size = sizeof out->szLine[i];
            char name[sizeof r.szName];
            tavplat::copy_text(name, r.szName);
            if (csv) {
                char comment[sizeof r.szItemComment];
                tavplat::copy_text(comment, r.szItemComment);
                tavplat::format_text(line, size, "%1d_%02d ,%-32s ,%10s ,%10s ,%-64s\n", i / kPageSize + 1,
                                     i % kPageSize + 1, name, value, initial, comment);
            } else {
                char shortName[42];
                tavplat::copy_text(shortName, name);
                char note[sizeof r.szFileNote];
                tavplat::copy_text(note, r.szFileNote);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
                // The format's conversions were checked against these arguments above.
                std::snprintf(line, size, fmt.c_str(), i / kPageSize + 1, i % kPageSize + 1, shortName, value, note);
#pragma GCC diagnostic pop
            }
        }
    }
    out->nLines = set->nPrintCount;
    return TAV_OK;
}

}  // namespace

Result NewParaCsvType_Wt(const char* path, NewParaSet* set) {
    if (path == nullptr || path[0] == '\0') return TAV_E_PARAMETER;
    auto describe = [&](int item) {
        char info[kInfoLineSize];
        NewPara_Ctl_Inf_Rd(set, item, nullptr, info);
        return std::string(info);
    };
    return sets::write_csv_listing(
        path, [](const char* name) { frame::tracef("NewPara CSV file=[%s]", name); }, {1, 4, 8, 12, 9}, describe,
        [&](std::string* text) -> short {
            NewParaPrint& print = state().csvPrint;
            const short code = make_print(set, &print, true);
            if (code != TAV_OK) return code;
            *text += print.szCommentLine;
            *text += print.szHeader;
            const int lines = std::min(std::max(int{print.nLines}, 0), kParaCount);
            for (int i = 0; i < lines; ++i) *text += print.szLine[i];
            return TAV_OK;
        });
}

}  // namespace tav::newpara
