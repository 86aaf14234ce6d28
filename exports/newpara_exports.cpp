// C entries of the extended parameters: null checks, then tav::newpara
// through the guard.
#include "Tav_acs.h"
#include "exports/guard.h"
#include "newpara/newpara.h"

using tav::exports::guarded;
namespace np = tav::newpara;

extern "C" {

// ------------------------------------------------------------ definitions
TAV_API short srvTav_NewParaIni_Rd(int model, int interfaceCode, int kind, NewParaSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewParaIni_Rd(model, interfaceCode, kind, set); });
}

TAV_API short srvTav_NewParaIni_Rd2(int model, int interfaceCode, int kind, NewParaSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewParaIni_Rd2(model, interfaceCode, kind, set); });
}

// Null out-texts are skipped.
TAV_API short srvTav_NewParaTitle_Rd(NewParaSet* set, char* drive, char* dir, char* name, char* out4, char* out5,
                                     char* title) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewParaTitle_Rd(set, drive, dir, name, out4, out5, title); });
}

TAV_API short srvTav_NewPara_Dat_Rd(NewParaSet* set, int no, NewParaRecord* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_Dat_Rd(set, no, out); });
}

TAV_API short srvTav_NewPara_SubTile_Rd(NewParaSet* set, int no, char* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_SubTile_Rd(set, no, out); });
}

TAV_API short srvTav_NewPara_ValueString_Rd(NewParaSet* set, int no, int idx, char* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_ValueString_Rd(set, no, idx, out); });
}

TAV_API short srvTav_NewPara_Skubun_No_Rd(NewParaSet* set, int codeNo, int dir, int* no) {
    if (set == nullptr || no == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_Skubun_No_Rd(set, codeNo, dir, no); });
}

TAV_API short srvTav_NewPara_No_Skubun_Rd(NewParaSet* set, int no, int* codeNo) {
    if (set == nullptr || codeNo == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_No_Skubun_Rd(set, no, codeNo); });
}

TAV_API short srvTav_NewPara_Dat_Chg(NewParaSet* set, int no, double value) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_Dat_Chg(set, no, value); });
}

TAV_API short srvTav_NewPara_Dat_Init(NewParaSet* set, int no) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_Dat_Init(set, no); });
}

TAV_API short srvTav_NewPara_Syousuh_Chg(NewParaSet* set, int rescaleValues, int rebuildTexts, int markChanged,
                                         int applyMotor) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_Syousuh_Chg(set, rescaleValues, rebuildTexts, markChanged, applyMotor); });
}

// ------------------------------------------------------------------- file
TAV_API short srvTav_NewPara_Rd(const char* path, int kind, NewParaSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_Rd(path, kind, set); });
}

TAV_API short srvTav_NewPara_Wt(const char* path, NewParaSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_Wt(path, set); });
}

TAV_API short srvTav_NewPara_Create(int model, int kind, NewParaSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_Create(model, kind, set); });
}

TAV_API short srvTav_NewPara_FileName_Chg(NewParaSet* set, const char* name) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_FileName_Chg(set, name); });
}

TAV_API short srvTav_NewPara_FileCmt_Rd(NewParaSet* set, char* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_FileCmt_Rd(set, out); });
}

TAV_API short srvTav_NewPara_FileCmt_Wt(NewParaSet* set, const char* text) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_FileCmt_Wt(set, text); });
}

TAV_API short srvTav_NewPara_Property_Rd(NewParaSet* set, NewParaProperty* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_Property_Rd(set, out); });
}

TAV_API short srvTav_NewPara_Property_Wt(NewParaSet* set, const NewParaProperty* prop) {
    if (set == nullptr || prop == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_Property_Wt(set, prop); });
}

TAV_API short srvTav_NewPara_Ctl_Inf_Rd(NewParaSet* set, int item, int* lines, char* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_Ctl_Inf_Rd(set, item, lines, out); });
}

// --------------------------------------------------------------- transfer
TAV_API short srvTav_NewPara_ComRd(const char* path, const char* stationText, int kind, NewParaSet* set, int first,
                                   int last) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_ComRd(path, stationText, kind, set, first, last); });
}

TAV_API short srvTav_NewPara_ComWt(const char* path, const char* stationText, int reserved, int all, NewParaSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_ComWt(path, stationText, reserved, all, set); });
}

TAV_API short srvTav_NewPara_ComInitWt(NewParaSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_ComInitWt(set); });
}

TAV_API short srvTav_NewPara_Amp_Rd(const char* stationText, NewParaSet* set, int first, int last) {
    if (set == nullptr || stationText == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_Amp_Rd(stationText, set, first, last); });
}

TAV_API short srvTav_NewPara_Amp_Wt(const char* stationText, int all, NewParaSet* set) {
    if (set == nullptr || stationText == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_Amp_Wt(stationText, all, set); });
}

TAV_API short srvTav_NewPara_Amp_Ini_Wt(const char* stationText, int reserved, NewParaSet* set) {
    if (set == nullptr || stationText == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewPara_Amp_Ini_Wt(stationText, reserved, set); });
}

// ---------------------------------------------------------------- listing
TAV_API short srvTav_NewParaPrint_Mak(NewParaSet* set, NewParaPrint* out) {
    if (set == nullptr || out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewParaPrint_Mak(set, out); });
}

TAV_API short srvTav_NewParaCsvType_Wt(const char* path, NewParaSet* set) {
    if (set == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return np::NewParaCsvType_Wt(path, set); });
}

}  // extern "C"
