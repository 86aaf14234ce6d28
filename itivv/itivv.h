// VV positioning data: the 15-point table of a V-type amplifier, whose points
// carry an acceleration and a deceleration time besides the values of an
// L-type point. Everything that behaves as in the positioning table is taken
// from tav::iti; what lives here is what the point layout changes.
#pragma once

#include <cstddef>
#include <cstring>

#include "Tav_acs.h"
#include "iti/iti.h"

namespace tav::itivv {

constexpr int kMaxPoints = 15;
constexpr int kColumns = 12;  // values per point line in files

// The set's own count, kept within the table so that a damaged count never
// walks past the points.
inline int point_count(const ItiVvDatSet* set) {
    if (set->nPointCount < 0) return 0;
    return set->nPointCount > kMaxPoints ? kMaxPoints : set->nPointCount;
}

// Both tables start with the same header, byte for byte.
static_assert(offsetof(ItiVvDatSet, point) == offsetof(ItiDatSet, point), "shared header");
constexpr std::size_t kHeaderSize = offsetof(ItiVvDatSet, point);

// An L-type set carrying only this set's header (no points), for the
// positioning helpers that read nothing but the header: titles and the
// description lines.
inline void header_view(const ItiVvDatSet& vv, ItiDatSet* out) {
    std::memset(static_cast<void*>(out), 0, sizeof *out);
    std::memcpy(static_cast<void*>(out), &vv, kHeaderSize);
    out->nPointCount = 0;
}

// ---------------------------------------------------------------- editing
Result Dat_Init(ItiVvDatSet* set, int no);
Result Dat_Chg(ItiVvDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed, double accelTime,
              double decelTime, double stopTimer, int mCode, int mValid, int mTiming);
Result Dat_Insert(ItiVvDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed,
                 double accelTime, double decelTime, double stopTimer, int mCode, int mValid, int mTiming);
Result Dat_Delete(ItiVvDatSet* set, int no);
short Dat_Rd(ItiVvDatSet* set, int no, ItiVvDatPoint* out);
Result Att_Chg(ItiVvDatSet* set, unsigned short dp);
Result Att_Chg2(ItiVvDatSet* set, unsigned short code);
short Att_Rd(ItiVvDatSet* set, unsigned short* dp);
short Title_Rd(ItiVvDatSet* set, char* drive, char* dir, char* baseName, char* out4, char* out5, char* title);
Result FileName_Chg(ItiVvDatSet* set, const char* name);
short FileCmt_Rd(ItiVvDatSet* set, char* out);
Result FileCmt_Wt(ItiVvDatSet* set, const char* text);

// ---------------------------------------------------------------- file
Result DatFil_Rd(const char* fileName, ItiVvDatSet* set);
Result DatFil_Wt(const char* fileName, ItiVvDatSet* set);
Result DatFil_Create(int model, ItiVvDatSet* set);

// ---------------------------------------------------------------- transfer
short ComRd(const char* fileName, const char* ampText, ItiVvDatSet* set);
short ComWt(const char* fileName, const char* ampText, int writeAll, ItiVvDatSet* set);
short AmpRd(const char* ampText, ItiVvDatSet* set);
short AmpWt(const char* ampText, int writeAll, ItiVvDatSet* set);
short InitWt(ItiVvDatSet* set);
short Att_AmpRd(const char* ampText, unsigned short* stopPosDp, unsigned short* stopTimeDp);

// The look-up of the two decimal-point parameter numbers; by default the
// extended parameters' (tav::newpara::decimal_point_params). Replaceable so that
// tests of the transfer need no definition files; null restores the default.
void set_decimal_param_finder(iti::DecimalParamFinder finder);

// ---------------------------------------------------------------- listing
short Print_mak(ItiVvDatSet* set, ItiVvDatPrintData* out);
short Ctl_Inf_Rd(ItiVvDatSet* set, int index, int* lineCount, char* out);
Result CsvType_Wt(const char* fileName, ItiVvDatSet* set);

}  // namespace tav::itivv
