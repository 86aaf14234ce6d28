// The positioning data file (".k7l"): reader, writer and the creation of a
// new table from the template of a model.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

#include "comm/comm.h"
#include "frame/frame.h"
#include "iti/iti.h"
#include "line/line.h"
#include "platform/platform.h"
#include "sets/file_frame.h"
#include "sets/sets.h"
#include "text/text.h"

namespace tav::iti {

namespace {

constexpr int kColumnTitleText = 10002;
constexpr char kOldTag[] = "K7-V1.3";  // the one version without a column-title line
constexpr int kTemplatePathId = 50;
constexpr int kPointColumns = 10;
constexpr unsigned kKesta7 = 0x30;
constexpr std::size_t kAmpNameMax = 91;

// A positioning file is kind 2 (".k7l"); its first line's model word is the
// table's control type.
short classify_positioning_file(int kind, int model, unsigned* controlType, unsigned* /*family*/) {
    if (kind != 2) return TAV_E_FILE_NAME;
    *controlType = static_cast<unsigned>(model);
    return TAV_OK;
}

// The K7-V1.3 files have no column-title line; a template read with a failed
// settings read takes the tenth value the read left.
constexpr DataFileLayout kPositioningFile = {classify_positioning_file, kTemplatePathId, 2, kMaxPoints,
                                             kPointColumns, false, true};

}  // namespace

template <class Point>
void read_point_line(const char* line, Point& p) {
    constexpr int kFields = kHasTimes<Point> ? kPointColumns + 2 : kPointColumns;
    char f[kFields][64] = {};
    const int n = read_point_fields(line, f, kFields);
    // Fields after the first empty one keep the cleared zero.
    if (n > 0) p.nDataNo = parse_dec(f[0]);
    if (n > 1) p.nChgFlag = parse_dec(f[1]);
    if (n > 2) p.nCmdMode = parse_dec(f[2]);
    if (n > 3) p.nStepMode = parse_dec(f[3]);
    if (n > 4) p.dStopPos = parse_real(f[4]);
    if (n > 5) p.dSpeed = parse_real(f[5]);
    int at = 6;
    if constexpr (kHasTimes<Point>) {
        if (n > 6) p.dAccelTime = parse_real(f[6]);
        if (n > 7) p.dDecelTime = parse_real(f[7]);
        at = 8;
    }
    if (n > at) p.dStopTimer = parse_real(f[at]);
    if (n > at + 1) p.nMCode = parse_dec(f[at + 1]);
    if (n > at + 2) p.nMValid = parse_dec(f[at + 2]);
    if (n > at + 3) p.nMTiming = parse_dec(f[at + 3]);
    p.nStatus = 0;
}

void read_file_tail(FILE* f, char* commentArea, std::size_t commentSize) {
    if (std::feof(f)) return;
    char* name = line::amp_name_from_file();
    char buf[kFileLineLimit];
    if (!read_line(f, buf, sizeof buf)) {
        name[0] = '\0';
        return;
    }
    CommentBuilder comment(commentArea, commentSize);
    if (const char* at = std::strstr(buf, "ampname=")) {
        std::string text(at + std::strlen("ampname="));
        if (!text.empty() && text.back() == '\n') text.pop_back();
        if (text.size() > kAmpNameMax) text.resize(kAmpNameMax);
        tavplat::copy_text(name, line::kAmpNameSize, text.c_str());
    } else {
        name[0] = '\0';
        comment.add(buf);
    }
    // The comment runs to the end of the file; what does not fit is dropped.
    int c;
    while ((c = std::fgetc(f)) != EOF)
        if (!comment.add(static_cast<char>(c))) break;
}

template <class Set>
Result write_data_file(const char* target, Set* set, int columnTitleText) {
    const int n = point_count(set);
    // A stop timer the file cannot show in its digits still leaves a whole
    // file (without its tail when it is the last point's); the code comes back.
    short formatted = TAV_OK;
    const short code = sets::write_whole_file(target, TAV_E_READ_ONLY, trace_file_name, [&](FILE* f) -> short {
        char version[16] = {};
        frame::GetVersion(version);
        const std::string head = ident_line(*set, version) + text::Text(static_cast<unsigned>(columnTitleText));
        if (sets::put_lines(f, head) != TAV_OK) return TAV_E_DISK_FULL;
        for (int i = 0; i < n; ++i) {
            const auto& p = set->point[i];
            char pos[64], speed[64], timer[64], line[kFileLineLimit];
            format_value(p.dStopPos, set->wStopPosDp, 10, "%10.2f", pos, sizeof pos);
            format_value(p.dSpeed, 2, 6, "%6.2f", speed, sizeof speed);
            std::string times;  // ", accel, decel" of a VV point, after the speed
            if constexpr (kHasTimes<std::remove_cvref_t<decltype(p)>>) {
                char accel[64], decel[64];
                format_value(p.dAccelTime, 1, 6, "%6.1f", accel, sizeof accel);
                format_value(p.dDecelTime, 1, 6, "%6.1f", decel, sizeof decel);
                times = std::string(", ") + accel + ", " + decel;
            }
            formatted = format_value(p.dStopTimer, set->wStopTimeDp + 2, 6, "%6.2f", timer, sizeof timer);
            tavplat::format_text(line, sizeof line, "%03d, %d, %02d, %02d, %s, %s%s, %s, %03d, %d, %d\n", p.nDataNo,
                                 0, p.nCmdMode, p.nStepMode, pos, speed, times.c_str(), timer, p.nMCode, p.nMValid,
                                 p.nMTiming);
            if (std::fputs(line, f) == EOF) return TAV_E_DISK_FULL;
            ++set->nProgressDone;
            if (set->nCancel == TAV_E_CANCELLED) return TAV_E_CANCELLED;
        }
        return formatted == TAV_OK ? sets::write_file_tail(f, *set) : TAV_OK;
    });
    if (code != TAV_OK) return code;
    if (formatted != TAV_OK) return formatted;
    for (int i = 0; i < n; ++i) set->point[i].nChgFlag = 0;
    return TAV_OK;
}

// Both tables' instances of the shared file steps.
template void read_point_line<ItiDatPoint>(const char*, ItiDatPoint&);
template void read_point_line<ItiVvDatPoint>(const char*, ItiVvDatPoint&);
template Result write_data_file<ItiDatSet>(const char*, ItiDatSet*, int);
template Result write_data_file<ItiVvDatSet>(const char*, ItiVvDatSet*, int);

template <class Set>
Result read_data_file(const char* fileName, int createModel, Set* set, const DataFileLayout& layout) {
    set->nProgressTotal = 10;
    const bool named = fileName != nullptr && fileName[0] != '\0';
    char path[TAV_PATH_MAX] = {};
    unsigned controlType = 0, bus = 0;
    unsigned family = kKesta7;
    if (named) {
        int kind = -1, model = 0;
        short code = line::File_Chk(fileName, &kind, &model, nullptr, nullptr, nullptr);
        if (code != TAV_OK) return code;
        if (model == 4) return TAV_E_FILE_NAME;
        if ((code = layout.classify(kind, model, &controlType, &family)) != TAV_OK) return code;
        tavplat::copy_text(path, fileName);
    } else {
        int model = createModel;
        if (model < 0) {
            LineSettings settings{};
            const bool read = line::Set_Rd(&settings) == TAV_OK;
            model = read ? settings.nModel : 0;
            if (read || layout.familyFromUnreadSettings) family = static_cast<unsigned>(settings.nTenth);
        }
        const int id = (model == 2 || model == 4) ? layout.templatePathId + model : layout.templatePathId;
        short code = comm::full_path(id, path);
        if (code != TAV_OK) return code;
        if (line::AmpModelNumber(static_cast<unsigned>(model), &controlType, &bus) != TAV_OK) controlType = bus = 0;
    }

    File file(tavplat::fopen_text(path, "r", tavplat::kMaxDataFileBytes));
    if (file.get() == nullptr) {
        trace_file_name(path);
        return tavplat::refused_file(errno) ? TAV_E_FILE_NAME : TAV_E_NO_FILE;
    }

    clear_for_read(set);
    if (named) {
        tavplat::copy_text(set->szFileName, fileName);
        line::set_amp_name_from_file_sel(1);
        bus = 0;
    } else {
        tavplat::copy_text(set->szAmpNo, "0");
        controlType = layout.templateControlType;
    }
    set->nModel = static_cast<int32_t>(controlType);
    set->byInfo6 = static_cast<uint8_t>(bus);
    set_ident_defaults(set);
    set->nFamily = family;
    set->nPointCount = layout.pointCount;
    set->nColumnCount = static_cast<uint32_t>(layout.columnCount);

    char buf[kFileLineLimit];
    char tag[kFileLineLimit] = {};
    read_line(file.get(), buf, sizeof buf);
    if (named)
        read_ident_line(buf, set, tag, sizeof tag);
    else
        read_template_line(buf, set);
    if (layout.titleLineAlways || std::strcmp(tag, kOldTag) != 0) read_line(file.get(), buf, sizeof buf);

    for (int i = 0; i < layout.pointCount; ++i) {
        if (!read_line(file.get(), buf, sizeof buf)) break;
        read_point_line(buf, set->point[i]);
        ++set->nProgressDone;
        if (set->nCancel == TAV_E_CANCELLED) return TAV_E_CANCELLED;
    }
    read_file_tail(file.get(), set->szComment, sizeof set->szComment);
    return TAV_OK;
}

template <class Set>
Result create_from_template(int model, Set* set, const DataFileLayout& layout) {
    set->nProgressTotal = 0;
    set->nProgressDone = 0;
    frame::CheckDiagnosticMarkersWithProbe();
    return read_data_file(nullptr, model < 0 ? 0 : model, set, layout);
}

template Result read_data_file<ItiDatSet>(const char*, int, ItiDatSet*, const DataFileLayout&);
template Result read_data_file<ItiVvDatSet>(const char*, int, ItiVvDatSet*, const DataFileLayout&);
template Result create_from_template<ItiDatSet>(int, ItiDatSet*, const DataFileLayout&);
template Result create_from_template<ItiVvDatSet>(int, ItiVvDatSet*, const DataFileLayout&);

Result DatFil_Rd(const char* fileName, ItiDatSet* set) { return read_data_file(fileName, -1, set, kPositioningFile); }

Result DatFil_Wt(const char* fileName, ItiDatSet* set) {
    set->nProgressTotal = set->nPointCount;
    std::string target;
    if (const short code = sets::save_target(fileName, set->szFileName, &target); code != TAV_OK) return code;
    if (has_extension(target.c_str(), ".csv")) return CsvType_Wt(target.c_str(), set);
    if (!has_extension(target.c_str(), ".k7l")) return TAV_E_FILE_NAME;
    return write_data_file(target.c_str(), set, kColumnTitleText);
}

Result DatFil_Create(int model, ItiDatSet* set) { return create_from_template(model, set, kPositioningFile); }

}  // namespace tav::iti
