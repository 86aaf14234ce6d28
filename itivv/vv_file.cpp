// The VV data file (".k7v" for KESTA7, ".m7v" for KESTA7 Mini): reader,
// writer and the creation of a new table from a VV template. The layout is
// the positioning file's with two more values a line; the identification
// line, template line and comment handling are the positioning table's.
#include <cerrno>
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

// The model handed to Create, for the template read it runs; -1 outside it.
// Kept apart from the positioning table's.
int g_createModel = -1;

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

    iti::File file(tavplat::fopen_text(path, "r", tavplat::kMaxDataFileBytes));
    if (file.get() == nullptr) {
        iti::trace_file_name(path);
        return tavplat::refused_file(errno) ? TAV_E_FILE_NAME : TAV_E_NO_FILE;
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
        iti::read_point_line(buf, set->point[i]);
        ++set->nProgressDone;
        if (set->nCancel == TAV_E_CANCELLED) return TAV_E_CANCELLED;
    }
    iti::read_file_tail(file.get(), set->szComment, sizeof set->szComment);
    return TAV_OK;
}

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
