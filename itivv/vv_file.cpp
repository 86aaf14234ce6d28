// The VV data file (".k7v" for KESTA7, ".m7v" for KESTA7 Mini): reader,
// writer and the creation of a new table from a VV template. The layout is
// the positioning file's with two more values a line; the identification
// line, template line and comment handling are the positioning table's.
#include <cstring>
#include <string>

#include "itivv/itivv.h"
#include "platform/platform.h"
#include "sets/file_frame.h"

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

Result DatFil_Wt(const char* fileName, ItiVvDatSet* set) {
    set->nProgressTotal = set->nPointCount;
    std::string target;
    if (const short code = sets::save_target(fileName, set->szFileName, &target); code != TAV_OK) return code;
    if (iti::has_extension(target.c_str(), ".csv")) return CsvType_Wt(target.c_str(), set);
    if (!vv_name(target.c_str())) return TAV_E_FILE_NAME;  // ".k7v" or ".m7v" (the positioning table: ".k7l")
    return iti::write_data_file(target.c_str(), set, kColumnTitleText);
}

Result DatFil_Create(int model, ItiVvDatSet* set) { return iti::create_from_template(model, set, kVvFile); }

}  // namespace tav::itivv
