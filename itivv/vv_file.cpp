// The VV data file (".k7v" for KESTA7, ".m7v" for KESTA7 Mini): reader,
// writer and the creation of a new table from a VV template. The layout is
// the positioning file's with two more values a line; the identification
// line, template line and comment handling are the positioning table's.
#include <cstring>

#include "itivv/itivv.h"
#include "platform/platform.h"

namespace tav::itivv {

namespace {

constexpr int kColumnTitleText = 10043;
constexpr int kTemplatePathId = 55;  // 55 + model for LIN and LIN_KB, else 55
constexpr int kKindK7v = 7, kKindM7v = 9;
constexpr unsigned kKesta7 = 0x30, kKesta7Mini = 0x40;

bool vv_name(const char* name) { return iti::has_extension(name, ".k7v") || iti::has_extension(name, ".m7v"); }

// A VV file is kind 7 (".k7v") or 9 (".m7v"), and the extension tells the family.
short classify_vv_file(int kind, int /*model*/, unsigned* /*controlType*/, unsigned* family) {
    if (kind != kKindK7v && kind != kKindM7v) return TAV_E_FILE_NAME;
    *family = kind == kKindM7v ? kKesta7Mini : kKesta7;
    return TAV_OK;
}

// Every VV file has its column-title line, whatever its version tag says; a
// template read keeps KESTA7 when the line settings cannot be read.
constexpr iti::DataFileLayout kVvFile = {classify_vv_file, kTemplatePathId, 0, kMaxPoints, kColumns, true, false};

}  // namespace

Result DatFil_Rd(const char* fileName, ItiVvDatSet* set) { return iti::read_data_file(fileName, -1, set, kVvFile); }

short DatFil_Wt(const char* fileName, ItiVvDatSet* set) {
    set->nProgressTotal = set->nPointCount;
    char target[TAV_PATH_MAX];
    tavplat::copy_text(target, fileName != nullptr && fileName[0] != '\0' ? fileName : set->szFileName);
    if (target[0] == '\0') return TAV_E_NO_TARGET_FILE;
    if (std::strlen(target) < 5) return TAV_E_FILE_NAME;
    if (iti::has_extension(target, ".csv")) return CsvType_Wt(target, set);
    if (!vv_name(target)) return TAV_E_FILE_NAME;  // ".k7v" or ".m7v" (the positioning table: ".k7l")
    return iti::write_data_file(target, set, kColumnTitleText);
}

short DatFil_Create(int model, ItiVvDatSet* set) { return iti::create_from_template(model, set, kVvFile); }

}  // namespace tav::itivv
