// C entries of the servo operator's standard parameters: definitions, file,
// transfer, listing.
#include "Tav_acs.h"
#include "exports/guard.h"
#include "para/para.h"

using tav::exports::guarded;
namespace para = tav::para;

extern "C" {

// ------------------------------------------------------ definitions, working set
TAV_API short srvTav_ParaIni_Rd(int n, int kind, ParaSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::ParaIni_Rd(n, kind, set); });
}

TAV_API short srvTav_Para_Dat_Rd(ParaSet* set, int no, ParaRecord* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_Dat_Rd(set, no, out); });
}

TAV_API short srvTav_Para_Dat_Chg(ParaSet* set, int no, double value) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_Dat_Chg(set, no, value); });
}

TAV_API short srvTav_Para_Dat_Init(ParaSet* set, int no) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_Dat_Init(set, no); });
}

TAV_API short srvTav_Para_SubTile_Rd(ParaSet* set, int no, char* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_SubTile_Rd(set, no, out); });
}

TAV_API short srvTav_Para_ValueString_Rd(ParaSet* set, int no, int idx, char* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_ValueString_Rd(set, no, idx, out); });
}

TAV_API short srvTav_StdSyp_GrpNmae_Rd(ParaSet* set, int grp, char* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::StdSyp_GrpNmae_Rd(set, grp, out); });
}

TAV_API short srvTav_Para_Skubun_No_Rd(ParaSet* set, int codeNo, int dir, int* no) {
    if (set == nullptr || no == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_Skubun_No_Rd(set, codeNo, dir, no); });
}

TAV_API short srvTav_Para_No_Skubun_Rd(ParaSet* set, int no, int* codeNo) {
    if (set == nullptr || codeNo == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_No_Skubun_Rd(set, no, codeNo); });
}

// ------------------------------------------------------------ parameter file
TAV_API short srvTav_Para_Rd(const char* file, int kind, ParaSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_Rd(file, kind, set); });
}

TAV_API short srvTav_Para_Wt(const char* file, ParaSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_Wt(file, set); });
}

TAV_API short srvTav_Para_Create(int model, int kind, ParaSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_Create(model, kind, set); });
}

TAV_API short srvTav_Para_FileName_Chg(ParaSet* set, const char* name) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_FileName_Chg(set, name); });
}

TAV_API short srvTav_Para_FileCmt_Rd(ParaSet* set, char* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_FileCmt_Rd(set, out); });
}

TAV_API short srvTav_Para_FileCmt_Wt(ParaSet* set, const char* text) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_FileCmt_Wt(set, text); });
}

TAV_API short srvTav_Para_Property_Rd(ParaSet* set, ParaProperty* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_Property_Rd(set, out); });
}

TAV_API short srvTav_Para_Property_Wt(ParaSet* set, const ParaProperty* in) {
    if (set == nullptr || in == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_Property_Wt(set, in); });
}

// ------------------------------------------------------------------ transfer
TAV_API short srvTav_Para_ComRd(const char* file, const char* station, int kind, ParaSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_ComRd(file, station, kind, set); });
}

TAV_API short srvTav_Para_ComWt(const char* file, const char* station, int reserved, int sendAll, ParaSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_ComWt(file, station, reserved, sendAll, set); });
}

TAV_API short srvTav_Para_Amp_Rd(const char* station, ParaSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_Amp_Rd(station, set); });
}

TAV_API short srvTav_Para_Amp_Wt(const char* station, int sendAll, ParaSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_Amp_Wt(station, sendAll, set); });
}

TAV_API short srvTav_Para_Syousuh_Chg(ParaSet* set, int changed, int withTexts, int reserved) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_Syousuh_Chg(set, changed, withTexts, reserved); });
}

// ------------------------------------------------------------------- listing
TAV_API short srvTav_ParaPrint_Mak(ParaSet* set, ParaPrint* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::ParaPrint_Mak(set, out); });
}

TAV_API short srvTav_ParaCsvType_Wt(const char* file, ParaSet* set) {
    if (set == nullptr || file == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::ParaCsvType_Wt(file, set); });
}

TAV_API short srvTav_Para_Ctl_Inf_Rd(ParaSet* set, int item, char* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::Para_Ctl_Inf_Rd(set, item, out, TAV_PARA_INFO_SIZE); });
}

TAV_API short srvTav_ParaTitle_Rd(ParaSet* set, char* drive, char* dir, char* name, char* spare1, char* spare2,
                                  char* title) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return para::ParaTitle_Rd(set, drive, dir, name, spare1, spare2, title); });
}

}  // extern "C"
