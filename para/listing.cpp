// Standard-parameter listing: the page image, the information lines, the
// window title and the CSV export.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "bcd/bcd.h"
#include "frame/frame.h"
#include "para/para.h"
#include "platform/platform.h"
#include "sets/file_frame.h"
#include "text/text.h"

namespace tav::para {

namespace {

constexpr unsigned kPageText[3] = {10005, 10006, 10036};
constexpr unsigned kNoNameText = 10015, kFileLabel = 10032, kModelLabel = 10004, kAmpLabel = 10021;
constexpr unsigned kMotorLabel = 10029, kDateLabel = 10030, kCommentLabel = 10031, kMemoryLabel = 10040;
constexpr unsigned kVersionLabel = 10041;
constexpr unsigned kModelText[3] = {10022, 10023, 10024};
constexpr unsigned kOtherModelText = 10025;
constexpr unsigned kHeadStd = 10011, kHeadHidden = 10050, kHeadCsv = 10017;
constexpr std::size_t kNameCut = 41;

// Catalogue rows of the identification tables: row id = base + code.
constexpr unsigned kControlType = 3640, kInterfaceA = 3690, kInterfaceB = 3695;
constexpr unsigned kSpeedKesta7 = 5000, kSpeedMini = 12000, kMotorSeries = 5500;
constexpr unsigned kCapacityA = 6000, kCapacityB = 6500, kEncoder = 7000, kVoltage = 7500, kMotor375W = 16004;

bool is_separator(char c) { return c == '\\' || c == '/' || c == ':'; }

// The file name after the last separator.
const char* after_directory(const char* path) {
    const char* base = path;
    for (const char* p = path; *p != '\0'; ++p)
        if (is_separator(*p)) base = p + 1;
    return base;
}

std::string without_extension(const char* base) {
    std::string s(base);
    const std::size_t dot = s.rfind('.');
    return dot == std::string::npos ? s : s.substr(0, dot);
}

// A catalogue row split into its first two comma fields; empty when the row
// does not exist.
struct Row {
    bool present = false;
    std::string first, second;
};

Row row(long id) {
    Row r;
    if (id <= 0 || id > 0xFFFF) return r;
    const std::string t = text::Text(static_cast<unsigned>(id));
    if (t.empty()) return r;
    r.present = true;
    char field[128];
    const char* p = frame::GetCommaField(t.c_str(), field, sizeof field);
    r.first = field;
    frame::GetCommaField(p, field, sizeof field);
    r.second = field;
    return r;
}

long code_row(unsigned base, long code) { return code < 0 || code > 255 ? -1 : static_cast<long>(base) + code; }

// Amplifier type from the set's identification fields. A code without a row
// gives placeholders: "** - ***" for the capacity and speed part, " ***" for
// the control, interface and voltage part.
std::string amplifier_type(const ParaSet* set) {
    const bool kesta7 = set->nFamily == 0x30;
    const std::string prefix = kesta7 ? "QMT " : "QMH ";
    const Row cap = row(code_row(kesta7 && set->byInfo1 != 0 ? kCapacityB : kCapacityA, set->byInfo2));
    const Row speed = row(code_row(kesta7 ? kSpeedKesta7 : kSpeedMini, set->byInfo1));
    if (!cap.present || !speed.present) return prefix + "** - ***";
    const Row control = row(code_row(kControlType, set->nModel));
    const Row iface = row(code_row(set->nModel == 0 ? kInterfaceA : kInterfaceB, set->nInterface));
    const Row volt = row(code_row(kVoltage, set->byInfo3));
    const std::string head = prefix + cap.first + speed.first + "5 -";
    if (!control.present || !iface.present || !volt.present) return head + " ***";
    return head + " " + control.first + iface.first + " " + volt.first;
}

// Motor type. No series row: "NV* ****** - ***"; no capacity row: the series
// followed by "****** - ***"; no encoder or voltage row: " - ***" after the
// capacity.
std::string motor_type(const ParaSet* set) {
    const unsigned series = set->byInfo10, capacity = set->byInfo12, encoder = set->byInfo14;
    const Row s = row(code_row(kMotorSeries, series));
    if (!s.present) return "NV* ****** - ***";
    long capRow = code_row(kCapacityA, capacity);
    if (series == 2 || series == 6 || series == 7)
        capRow = code_row(kCapacityB, capacity);
    else if (series == 1 && (encoder == 0 || encoder == 2) && capacity == 4 && set->byInfo11 == 2)
        capRow = kMotor375W;
    const Row cap = row(capRow);
    if (!cap.present) return s.second + " ****** - ***";
    const Row enc = row(code_row(kEncoder, encoder));
    const Row volt = row(code_row(kVoltage, set->byInfo11));
    std::string motor = s.second + " " + cap.first + s.first;
    if (!enc.present || !volt.present) return motor + " - ***";
    if (encoder == 8 || encoder == 9) return motor + "C2 - " + enc.first + volt.first;
    if (encoder == 0 || encoder == 2) return motor + "C1 - " + enc.first + (volt.first == "6" ? volt.first : "");
    return motor + " 5 - " + enc.first + "*" + volt.first;
}

unsigned long hex_whole(double v) {
    if (!std::isfinite(v) || std::fabs(v) >= 9e18) return 0;
    return static_cast<unsigned long>(static_cast<long long>(std::trunc(v)));
}

void value_column(const ParaRecord& r, double v, bool leadingBlank, char* out, std::size_t size, short* status) {
    if (r.wAttr & 0x0002u) {
        tavplat::format_text(out, size, leadingBlank ? " %10lXH" : "%10lXH", hex_whole(v));
        return;
    }
    char t[bcd::kTextMax];
    const short code = bcd::Double_to_Char(v, r.wAttr, 10, t);
    *status = code;
    if (code == TAV_OK)
        tavplat::copy_text(out, size, t);
    else
        tavplat::format_text(out, size, "%10.2f", v);
}

// Copies text and a line end, dropping trailing blanks if both do not fit.
void copy_with_line_end(char* dst, std::size_t size, const std::string& text) {
    std::string t = text;
    while (t.size() + 2 > size && !t.empty() && t.back() == ' ') t.pop_back();
    t += "\n";
    tavplat::copy_text(dst, size, t.c_str());
}

std::string info(ParaSet* set, int item) {
    const unsigned kind = set->nKind >= 0 && set->nKind <= 2 ? kPageText[set->nKind] : kPageText[0];
    switch (item) {
        case 1:
            return text::Text(kind);
        case 2: {
            const char* base = after_directory(set->szFileName);
            return text::Text(kFileLabel) + (base[0] != '\0' ? std::string(base) : text::Text(kNoNameText));
        }
        case 3:
            return text::Text(kModelLabel) +
                   text::Text(set->nModel >= 0 && set->nModel <= 2 ? kModelText[set->nModel] : kOtherModelText);
        case 4:
            return text::Text(kAmpLabel) + amplifier_type(set);
        case 8:
            return text::Text(kMotorLabel) + motor_type(set);
        case 9:
            return text::Text(kDateLabel) + std::string(set->szReadDate, strnlen(set->szReadDate, sizeof set->szReadDate));
        case 10:
            return text::Text(kCommentLabel) +
                   std::string(set->szComment, strnlen(set->szComment, sizeof set->szComment));
        case 11: {
            // The memory the set occupies: parameters in use of its slots.
            char t[32];
            tavplat::format_text(t, sizeof t, "%d/%d", set->nParaCount, kSlots);
            return text::Text(kMemoryLabel) + t;
        }
        case 12: {
            char version[16] = {};
            frame::GetVersion(version);
            return text::Text(kVersionLabel) + version;
        }
        default:
            return "";
    }
}

}  // namespace

short Para_Ctl_Inf_Rd(ParaSet* set, int item, char* out, std::size_t size) {
    tavplat::copy_text(out, size, info(set, item).c_str());
    return TAV_OK;
}

short ParaPrint_Mak(ParaSet* set, ParaPrint* out) { return ParaPrint_Mak(set, out, false); }

short ParaPrint_Mak(ParaSet* set, ParaPrint* out, bool csv) {
    const int n = std::clamp(int{set->nParaCount}, 0, kSlots);
    for (int i = 0; i < n; ++i) {
        ParaRecord& r = set->para[i];
        if (r.wAttr != 0 && range_check(r, r.dValue) != TAV_OK) r.nResult = TAV_E_RANGE;
    }
    const std::string comment = info(set, 10);
    if (csv)
        copy_with_line_end(out->szPrintComment, sizeof out->szPrintComment, comment);
    else
        tavplat::copy_text(out->szPrintComment, comment.c_str());
    out->nPrintLines = n;
    const char* base = after_directory(set->szFileName);
    tavplat::copy_text(out->szPrintName,
                       (base[0] != '\0' ? without_extension(base) : text::Text(kNoNameText)).c_str());
    if (csv)
        copy_with_line_end(out->szPrintHead, sizeof out->szPrintHead, text::Text(kHeadCsv));
    else
        tavplat::copy_text(out->szPrintHead, text::Text(set->nKind == 2 ? kHeadHidden : kHeadStd).c_str());
    out->szPrintInfo[0] = '\0';
    if (!csv && set->szAmpNo[0] != '\0') tavplat::copy_text(out->szPrintInfo, info(set, 4).c_str());

    frame::PrintFormScope printForm;
    short status = TAV_OK;
    for (int i = 0; i < n; ++i) {
        const ParaRecord& r = set->para[i];
        char value[64], initial[64], name[sizeof r.szName];
        value_column(r, r.dValue, true, value, sizeof value, &status);
        value_column(r, r.dInitial, false, initial, sizeof initial, &status);
        char* line = out->szPrintLine[i];
        const std::size_t size = sizeof out->szPrintLine[i];
        // The catalogue's line formats (10018, 10049, 10012), kept as literals
        // so that no language module can hand printf a wrong conversion.
        if (csv) {
            tavplat::format_text(line, size, "%3d ,%-32s ,%10s ,%10s ,%-64s\n", i + 1, r.szName, value, initial,
                                 r.szItemComment);
            continue;
        }
        copy_cut(name, sizeof name, r.szName, kNameCut);
        if (set->nKind == 2)
            tavplat::format_text(line, size, "%02d  %-42s  %10s  %-54s", i + 1, name, value, r.szItemComment);
        else  // the operator's panel shows ten parameters per group: 1_01 .. 1_10, 2_01 ..
            tavplat::format_text(line, size, "%1d_%02d  %-42s  %10s  %-54s", i / 10 + 1, i % 10 + 1, name, value,
                                 r.szItemComment);
    }
    return status;
}

Result ParaCsvType_Wt(const char* file, ParaSet* set) {
    return sets::write_csv_listing(file, nullptr, {1, 4, 8, 12, 9}, [&](int item) { return info(set, item); },
                                   [&](std::string* text) -> short {
                                       auto page = std::make_unique<ParaPrint>();
                                       const short code = ParaPrint_Mak(set, page.get(), true);
                                       if (code != TAV_OK) return code;
                                       for (const char* p = page->szPrintComment; *p != '\0'; ++p)
                                           if (*p != '\r') *text += *p;
                                       *text += page->szPrintHead;
                                       for (int i = 0; i < page->nPrintLines; ++i) *text += page->szPrintLine[i];
                                       return TAV_OK;
                                   });
}

short ParaTitle_Rd(ParaSet* set, char* drive, char* dir, char* name, char* spare1, char* spare2, char* title) {
    const char* path = set->szFileName;
    std::string d, directory, base;
    const char* rest = path;
    if (path[0] != '\0' && path[1] == ':') {
        d.assign(path, 2);
        rest = path + 2;
    }
    const char* file = after_directory(rest);
    directory.assign(rest, static_cast<std::size_t>(file - rest));
    base = without_extension(file);
    if (drive != nullptr) tavplat::copy_text(drive, 3, d.c_str());
    if (dir != nullptr) tavplat::copy_text(dir, TAV_PATH_MAX, directory.c_str());
    if (name != nullptr) tavplat::copy_text(name, TAV_PATH_MAX, base.c_str());
    if (spare1 != nullptr) spare1[0] = '\0';
    if (spare2 != nullptr) spare2[0] = '\0';
    if (title != nullptr) {
        std::string t = info(set, 1);
        if (!base.empty()) t += "    " + base;
        tavplat::copy_text(title, 400, t.c_str());
    }
    return TAV_OK;
}

}  // namespace tav::para
