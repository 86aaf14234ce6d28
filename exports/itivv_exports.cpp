// C entries of the VV positioning table: argument checks, then tav::itivv
// through the guard.
#include "Tav_acs.h"
#include "exports/guard.h"
#include "itivv/itivv.h"

using tav::exports::guarded;
namespace vv = tav::itivv;

extern "C" {

// ------------------------------------------------------------------ editing
TAV_API short srvTav_ItiVvDat_Init(ItiVvDatSet* set, int no) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::Dat_Init(set, no); });
}

TAV_API short srvTav_ItiVvDat_Chg(ItiVvDatSet* set, int no, int cmdMode, int stepMode, double stopPos,
                                  double speed, double accelTime, double decelTime, double stopTimer, int mCode,
                                  int mValid, int mTiming) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] {
        return vv::Dat_Chg(set, no, cmdMode, stepMode, stopPos, speed, accelTime, decelTime, stopTimer, mCode,
                           mValid, mTiming);
    });
}

TAV_API short srvTav_ItiVvDat_Insert(ItiVvDatSet* set, int no, int cmdMode, int stepMode, double stopPos,
                                     double speed, double accelTime, double decelTime, double stopTimer, int mCode,
                                     int mValid, int mTiming) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] {
        return vv::Dat_Insert(set, no, cmdMode, stepMode, stopPos, speed, accelTime, decelTime, stopTimer, mCode,
                              mValid, mTiming);
    });
}

TAV_API short srvTav_ItiVvDat_Delete(ItiVvDatSet* set, int no) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::Dat_Delete(set, no); });
}

TAV_API short srvTav_ItiVvDat_Rd(ItiVvDatSet* set, int no, ItiVvDatPoint* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::Dat_Rd(set, no, out); });
}

TAV_API short srvTav_ItiVvAtt_Chg(ItiVvDatSet* set, unsigned short dp) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::Att_Chg(set, dp); });
}

TAV_API short srvTav_ItiVvAtt_Chg2(ItiVvDatSet* set, unsigned short code) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::Att_Chg2(set, code); });
}

TAV_API short srvTav_ItiVvAtt_Rd(ItiVvDatSet* set, unsigned short* dp) {
    if (set == nullptr || dp == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::Att_Rd(set, dp); });
}

TAV_API short srvTav_ItiVvTitle_Rd(ItiVvDatSet* set, char* drive, char* dir, char* baseName, char* out4,
                                   char* out5, char* title) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::Title_Rd(set, drive, dir, baseName, out4, out5, title); });
}

TAV_API short srvTav_ItiVvDat_FileName_Chg(ItiVvDatSet* set, const char* name) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::FileName_Chg(set, name); });
}

TAV_API short srvTav_ItiVvDat_FileCmt_Rd(ItiVvDatSet* set, char* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::FileCmt_Rd(set, out); });
}

TAV_API short srvTav_ItiVvDat_FileCmt_Wt(ItiVvDatSet* set, const char* text) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::FileCmt_Wt(set, text); });
}

// ------------------------------------------------------------------ files
TAV_API short srvTav_ItiVvDatFil_Rd(const char* fileName, ItiVvDatSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::DatFil_Rd(fileName, set); });
}

TAV_API short srvTav_ItiVvDatFil_Wt(const char* fileName, ItiVvDatSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::DatFil_Wt(fileName, set); });
}

TAV_API short srvTav_ItiVvDatFil_Create(int model, ItiVvDatSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::DatFil_Create(model, set); });
}

// --------------------------------------------------------------- transfers
TAV_API short srvTav_ItiVvDat_ComRd(const char* fileName, const char* ampText, ItiVvDatSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::ComRd(fileName, ampText, set); });
}

TAV_API short srvTav_ItiVvDat_ComWt(const char* fileName, const char* ampText, int writeAll, ItiVvDatSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::ComWt(fileName, ampText, writeAll, set); });
}

TAV_API short srvTav_ItiVvDat_AmpRd(const char* ampText, ItiVvDatSet* set) {
    if (ampText == nullptr || set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::AmpRd(ampText, set); });
}

TAV_API short srvTav_ItiVvDat_AmpWt(const char* ampText, int writeAll, ItiVvDatSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::AmpWt(ampText, writeAll, set); });
}

TAV_API short srvTav_ItiVvDat_InitWt(ItiVvDatSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::InitWt(set); });
}

TAV_API short srvTav_ItiVvAtt_AmpRd(const char* ampText, unsigned short* stopPosDp, unsigned short* stopTimeDp) {
    if (ampText == nullptr || stopPosDp == nullptr || stopTimeDp == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::Att_AmpRd(ampText, stopPosDp, stopTimeDp); });
}

// ----------------------------------------------------------------- listing
TAV_API short srvTav_ItiVvDatPrint_mak(ItiVvDatSet* set, ItiVvDatPrintData* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::Print_mak(set, out); });
}

TAV_API short srvTav_ItiVvDat_Ctl_Inf_Rd(ItiVvDatSet* set, int index, int* lineCount, char* out) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::Ctl_Inf_Rd(set, index, lineCount, out); });
}

TAV_API short srvTav_ItiVvDatCsvType_Wt(const char* fileName, ItiVvDatSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return vv::CsvType_Wt(fileName, set); });
}

}  // extern "C"
