// C entries of the positioning table: argument checks, then tav::iti
// through the guard.
#include "Tav_acs.h"
#include "exports/guard.h"
#include "iti/iti.h"

using tav::exports::guarded;

extern "C" {

// ------------------------------------------------------------------ editing
TAV_API short srvTav_ItiDat_Init(ItiDatSet* set, int no) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::Dat_Init(set, no); });
}

TAV_API short srvTav_ItiDat_Chg(ItiDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed,
                                double stopTimer, int mCode, int mValid, int mTiming) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] {
        return tav::iti::Dat_Chg(set, no, cmdMode, stepMode, stopPos, speed, stopTimer, mCode, mValid, mTiming);
    });
}

TAV_API short srvTav_ItiDat_Insert(ItiDatSet* set, int no, int cmdMode, int stepMode, double stopPos,
                                   double speed, double stopTimer, int mCode, int mValid, int mTiming) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] {
        return tav::iti::Dat_Insert(set, no, cmdMode, stepMode, stopPos, speed, stopTimer, mCode, mValid, mTiming);
    });
}

TAV_API short srvTav_ItiDat_Rd(ItiDatSet* set, int no, ItiDatPoint* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::Dat_Rd(set, no, out); });
}

TAV_API short srvTav_ItiAtt_Chg(ItiDatSet* set, unsigned short dp) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::Att_Chg(set, dp); });
}

TAV_API short srvTav_ItiAtt_Chg2(ItiDatSet* set, unsigned short code) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::Att_Chg2(set, code); });
}

TAV_API short srvTav_ItiDat_FileName_Chg(ItiDatSet* set, const char* name) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::FileName_Chg(set, name); });
}

TAV_API short srvTav_ItiDat_FileCmt_Rd(ItiDatSet* set, char* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::FileCmt_Rd(set, out); });
}

TAV_API short srvTav_ItiDat_FileCmt_Wt(ItiDatSet* set, const char* text) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::FileCmt_Wt(set, text); });
}

TAV_API short srvTav_ItiTitle_Rd(ItiDatSet* set, char* drive, char* dir, char* baseName, char* out4, char* out5,
                                 char* title) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::Title_Rd(set, drive, dir, baseName, out4, out5, title); });
}

// ------------------------------------------------------------------ files
TAV_API short srvTav_ItiDatFil_Rd(const char* fileName, ItiDatSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::DatFil_Rd(fileName, set); });
}

TAV_API short srvTav_ItiDatFil_Wt(const char* fileName, ItiDatSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::DatFil_Wt(fileName, set); });
}

TAV_API short srvTav_ItiDatFil_Create(int model, ItiDatSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::DatFil_Create(model, set); });
}

// --------------------------------------------------------------- transfers
TAV_API short srvTav_ItiDat_ComRd(const char* fileName, const char* ampText, ItiDatSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::ComRd(fileName, ampText, set); });
}

TAV_API short srvTav_ItiDat_ComWt(const char* fileName, const char* ampText, int writeAll, ItiDatSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::ComWt(fileName, ampText, writeAll, set); });
}

TAV_API short srvTav_ItiDat_AmpRd(const char* ampText, ItiDatSet* set) {
    if (ampText == nullptr || set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::AmpRd(ampText, set); });
}

TAV_API short srvTav_ItiDat_AmpWt(const char* ampText, int writeAll, ItiDatSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::AmpWt(ampText, writeAll, set); });
}

TAV_API short srvTav_ItiAtt_AmpRd(const char* ampText, unsigned short* stopPosDp, unsigned short* stopTimeDp) {
    if (ampText == nullptr || stopPosDp == nullptr || stopTimeDp == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::Att_AmpRd(ampText, stopPosDp, stopTimeDp); });
}

TAV_API short srvTav_ItiNoDat_Rd(int station, int no, ItiNoDatInfo* out) {
    if (out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::NoDat_Rd(station, no, out); });
}

// ----------------------------------------------------------------- listing
TAV_API short srvTav_ItiDatPrint_mak(ItiDatSet* set, ItiDatPrintData* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::Print_mak(set, out); });
}

TAV_API short srvTav_ItiDat_Ctl_Inf_Rd(ItiDatSet* set, int index, int* lineCount, char* out) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::Ctl_Inf_Rd(set, index, lineCount, out); });
}

TAV_API short srvTav_ItiDatCsvType_Wt(const char* fileName, ItiDatSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::iti::CsvType_Wt(fileName, set); });
}

}  // extern "C"
