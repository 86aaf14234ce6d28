// Hostile input at the C boundary: every pointer argument of every exported
// function null (and every text argument empty) while the other arguments are
// valid, numbers out of range, and regressions of faults found by fuzzing.
// A call must come back with a result code: no crash, no sanitizer report.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "fixtures/temp_dirs.h"
#include "wynapi/wynapi.h"

namespace {

namespace fs = std::filesystem;

// Valid arguments for the positions that are not under test: each object in
// its own exactly sized, zeroed heap block, so that an overrun is reported.
struct Args {
    std::deque<std::vector<unsigned char>> blocks;
    TavWindow window{[](void*, unsigned, uintptr_t, intptr_t) {}, nullptr};
    std::string dir;

    unsigned char* block(std::size_t n) { return blocks.emplace_back(n, 0).data(); }
    template <class T>
    T* obj() { return reinterpret_cast<T*>(block(sizeof(T))); }
    char* out() { return reinterpret_cast<char*>(block(4096)); }
    unsigned char* bytes() { return block(8192); }
    // A sensible text for an input argument, by its name in the header.
    const char* text(const std::string& role) {
        static std::deque<std::string> keep;
        if (role == "station" || role == "stationText" || role == "ampText" || role == "selected") return "1";
        if (role == "name" || role == "text" || role == "label") return "x";
        if (role == "destination") return keep.emplace_back(dir + "/copy.k7l").c_str();
        return keep.emplace_back(dir + "/file.k7l").c_str();  // file, path, fileName, source
    }
};

struct NullCall {
    const char* function;
    const char* what;
    int (*call)(Args&);
};

// One row per pointer argument (null) and per text argument (empty); made
// from the declarations of Tav_acs.h. w1_test never returns, the variadic
// trace and lock functions take anything, and the message-box hook takes null
// by design: they are left out.
const NullCall kNullCalls[] = {
    {"srvTav_SetVersion", "text null", [](Args& b) { srvTav_SetVersion(nullptr); return 0; }},
    {"srvTav_SetVersion", "text empty", [](Args& b) { srvTav_SetVersion(""); return 0; }},
    {"srvTav_GetVersion", "out null", [](Args& b) { srvTav_GetVersion(nullptr); return 0; }},
    {"srvTav_SetProgressRateHwnd", "window null", [](Args& b) { srvTav_SetProgressRateHwnd(nullptr); return 0; }},
    {"srvTav_ErrString_Get", "out null", [](Args& b) { return static_cast<int>(srvTav_ErrString_Get(1, 1, nullptr)); }},
    {"srvTav_Bcd_to_Double", "bcd null", [](Args& b) { return static_cast<int>(srvTav_Bcd_to_Double(nullptr, 1, b.obj<double>())); }},
    {"srvTav_Bcd_to_Double", "out null", [](Args& b) { return static_cast<int>(srvTav_Bcd_to_Double(b.bytes(), 1, nullptr)); }},
    {"srvTav_Double_to_Char", "out null", [](Args& b) { return static_cast<int>(srvTav_Double_to_Char(0.0, 1, 1, nullptr)); }},
    {"srvTav_Double_to_Bcd", "out null", [](Args& b) { return static_cast<int>(srvTav_Double_to_Bcd(0.0, 1, 1, nullptr)); }},
    {"srvTav_int_to_Bcd", "out null", [](Args& b) { return static_cast<int>(srvTav_int_to_Bcd(1, nullptr)); }},
    {"srvTav_Bcd_to_DoubleChar", "bcd null", [](Args& b) { return static_cast<int>(srvTav_Bcd_to_DoubleChar(nullptr, 1, b.out())); }},
    {"srvTav_Bcd_to_DoubleChar", "out null", [](Args& b) { return static_cast<int>(srvTav_Bcd_to_DoubleChar(b.bytes(), 1, nullptr)); }},
    {"srvTav_Set_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_Set_Rd(nullptr)); }},
    {"srvTav_SetWyn_Wt", "in null", [](Args& b) { return static_cast<int>(srvTav_SetWyn_Wt(nullptr)); }},
    {"srvTav_Set_Copy", "source null", [](Args& b) { return static_cast<int>(srvTav_Set_Copy(nullptr)); }},
    {"srvTav_Set_Copy", "source empty", [](Args& b) { return static_cast<int>(srvTav_Set_Copy("")); }},
    {"srvTav_Port_Set", "port null", [](Args& b) { return static_cast<int>(srvTav_Port_Set(nullptr)); }},
    {"srvTav_Amp_Rd", "selected null", [](Args& b) { return static_cast<int>(srvTav_Amp_Rd(nullptr)); }},
    {"srvTav_Amp_Wt", "selected null", [](Args& b) { return static_cast<int>(srvTav_Amp_Wt(nullptr)); }},
    {"srvTav_Amp_Wt", "selected empty", [](Args& b) { return static_cast<int>(srvTav_Amp_Wt("")); }},
    {"srvTav_AmpData_Rd", "count null", [](Args& b) { return static_cast<int>(srvTav_AmpData_Rd(1, 1, nullptr, b.obj<int>(), b.out(), b.obj<int>())); }},
    {"srvTav_AmpData_Rd", "station null", [](Args& b) { return static_cast<int>(srvTav_AmpData_Rd(1, 1, b.obj<int>(), nullptr, b.out(), b.obj<int>())); }},
    {"srvTav_AmpData_Rd", "name null", [](Args& b) { return static_cast<int>(srvTav_AmpData_Rd(1, 1, b.obj<int>(), b.obj<int>(), nullptr, b.obj<int>())); }},
    {"srvTav_AmpData_Rd", "flag null", [](Args& b) { return static_cast<int>(srvTav_AmpData_Rd(1, 1, b.obj<int>(), b.obj<int>(), b.out(), nullptr)); }},
    {"srvTav_AmpData_Wt", "name null", [](Args& b) { return static_cast<int>(srvTav_AmpData_Wt(1, 1, nullptr)); }},
    {"srvTav_AmpData_Wt", "name empty", [](Args& b) { return static_cast<int>(srvTav_AmpData_Wt(1, 1, "")); }},
    {"srvTav_Yukou_AmpData_Rd", "count null", [](Args& b) { return static_cast<int>(srvTav_Yukou_AmpData_Rd(nullptr, b.obj<int>(), b.obj<int>(), b.out(), b.obj<int>())); }},
    {"srvTav_Yukou_AmpData_Rd", "entry null", [](Args& b) { return static_cast<int>(srvTav_Yukou_AmpData_Rd(b.obj<int>(), nullptr, b.obj<int>(), b.out(), b.obj<int>())); }},
    {"srvTav_Yukou_AmpData_Rd", "station null", [](Args& b) { return static_cast<int>(srvTav_Yukou_AmpData_Rd(b.obj<int>(), b.obj<int>(), nullptr, b.out(), b.obj<int>())); }},
    {"srvTav_Yukou_AmpData_Rd", "name null", [](Args& b) { return static_cast<int>(srvTav_Yukou_AmpData_Rd(b.obj<int>(), b.obj<int>(), b.obj<int>(), nullptr, b.obj<int>())); }},
    {"srvTav_Yukou_AmpData_Rd", "flag null", [](Args& b) { return static_cast<int>(srvTav_Yukou_AmpData_Rd(b.obj<int>(), b.obj<int>(), b.obj<int>(), b.out(), nullptr)); }},
    {"srvTav_TargetAmpKyoku_Rd", "station null", [](Args& b) { return static_cast<int>(srvTav_TargetAmpKyoku_Rd(nullptr)); }},
    {"srvTav_SiteiAmpKyoku_Rd", "station null", [](Args& b) { return static_cast<int>(srvTav_SiteiAmpKyoku_Rd(1, nullptr)); }},
    {"srvTav_ComPortLock_quimbel", "kind null", [](Args& b) { return static_cast<int>(srvTav_ComPortLock_quimbel(nullptr)); }},
    {"srvTav_ComPortLockUnlockCheck", "port null", [](Args& b) { return static_cast<int>(srvTav_ComPortLockUnlockCheck(nullptr)); }},
    {"srvTav_TraceLockUnlockCheck", "state null", [](Args& b) { return static_cast<int>(srvTav_TraceLockUnlockCheck(nullptr)); }},
    {"srvTav_File_Copy", "source null", [](Args& b) { return static_cast<int>(srvTav_File_Copy(nullptr, b.text("destination"))); }},
    {"srvTav_File_Copy", "source empty", [](Args& b) { return static_cast<int>(srvTav_File_Copy("", b.text("destination"))); }},
    {"srvTav_File_Copy", "destination null", [](Args& b) { return static_cast<int>(srvTav_File_Copy(b.text("source"), nullptr)); }},
    {"srvTav_File_Copy", "destination empty", [](Args& b) { return static_cast<int>(srvTav_File_Copy(b.text("source"), "")); }},
    {"srvTav_SupLnk_Init", "record null", [](Args& b) { return static_cast<int>(srvTav_SupLnk_Init(nullptr)); }},
    {"srvTav_SupLnk_Open", "file null", [](Args& b) { return static_cast<int>(srvTav_SupLnk_Open(nullptr, b.obj<SupportLinkRecord>())); }},
    {"srvTav_SupLnk_Open", "file empty", [](Args& b) { return static_cast<int>(srvTav_SupLnk_Open("", b.obj<SupportLinkRecord>())); }},
    {"srvTav_SupLnk_Open", "record null", [](Args& b) { return static_cast<int>(srvTav_SupLnk_Open(b.text("file"), nullptr)); }},
    {"srvTav_SupLnk_Close", "file null", [](Args& b) { return static_cast<int>(srvTav_SupLnk_Close(nullptr, 1, b.obj<SupportLinkRecord>())); }},
    {"srvTav_SupLnk_Close", "file empty", [](Args& b) { return static_cast<int>(srvTav_SupLnk_Close("", 1, b.obj<SupportLinkRecord>())); }},
    {"srvTav_SupLnk_Close", "record null", [](Args& b) { return static_cast<int>(srvTav_SupLnk_Close(b.text("file"), 1, nullptr)); }},
    {"srvTav_SysCondition_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_SysCondition_Rd(1, nullptr)); }},
    {"srvTav_Open_SysCondition_Rd_Close", "record null", [](Args& b) { return static_cast<int>(srvTav_Open_SysCondition_Rd_Close(nullptr)); }},
    {"srvTav_Motor_Info_Rd", "first null", [](Args& b) { return static_cast<int>(srvTav_Motor_Info_Rd(1, nullptr, b.obj<double>(), b.obj<double>())); }},
    {"srvTav_Motor_Info_Rd", "second null", [](Args& b) { return static_cast<int>(srvTav_Motor_Info_Rd(1, b.obj<double>(), nullptr, b.obj<double>())); }},
    {"srvTav_Motor_Info_Rd", "third null", [](Args& b) { return static_cast<int>(srvTav_Motor_Info_Rd(1, b.obj<double>(), b.obj<double>(), nullptr)); }},
    {"srvGet_NameFromModelNumber", "name null", [](Args& b) { return static_cast<int>(srvGet_NameFromModelNumber(1, nullptr)); }},
    {"srvGet_ModelNumberFromName", "name null", [](Args& b) { return static_cast<int>(srvGet_ModelNumberFromName(nullptr)); }},
    {"srvGet_ModelNumberFromName", "name empty", [](Args& b) { return static_cast<int>(srvGet_ModelNumberFromName("")); }},
    {"srvGet_AmpModelNumber", "base null", [](Args& b) { return static_cast<int>(srvGet_AmpModelNumber(1, nullptr, b.obj<unsigned int>())); }},
    {"srvGet_AmpModelNumber", "bus null", [](Args& b) { return static_cast<int>(srvGet_AmpModelNumber(1, b.obj<unsigned int>(), nullptr)); }},
    {"SetAmpNameForFile", "name null", [](Args& b) { SetAmpNameForFile(nullptr); return 0; }},
    {"SetAmpNameForFile", "name empty", [](Args& b) { SetAmpNameForFile(""); return 0; }},
    {"srvTav_Status_Rd", "status null", [](Args& b) { return static_cast<int>(srvTav_Status_Rd(1, nullptr, b.obj<int>())); }},
    {"srvTav_Status_Rd", "ready null", [](Args& b) { return static_cast<int>(srvTav_Status_Rd(1, b.bytes(), nullptr)); }},
    {"srvTav_PlaceRunOff", "status null", [](Args& b) { return static_cast<int>(srvTav_PlaceRunOff(1, 1, 1, nullptr, b.obj<int>())); }},
    {"srvTav_PlaceRunOff", "ready null", [](Args& b) { return static_cast<int>(srvTav_PlaceRunOff(1, 1, 1, b.bytes(), nullptr)); }},
    {"srvTav_ManuPluse_Snd", "status null", [](Args& b) { return static_cast<int>(srvTav_ManuPluse_Snd(1, 1, nullptr)); }},
    {"srvTav_RunOnOFF_ManuSpeedSel", "status null", [](Args& b) { return static_cast<int>(srvTav_RunOnOFF_ManuSpeedSel(1, 1, 1, nullptr)); }},
    {"srvTav_Open_OffONline_Close", "record null", [](Args& b) { return static_cast<int>(srvTav_Open_OffONline_Close(1, nullptr)); }},
    {"srvTav_ItiDatRunStatus_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_ItiDatRunStatus_Rd(1, nullptr)); }},
    {"srvTav_Wyn_STR_ERR_Chk", "status null", [](Args& b) { return static_cast<int>(srvTav_Wyn_STR_ERR_Chk(nullptr)); }},
    {"srvTav_Wyn_General_Acs", "data null", [](Args& b) { return static_cast<int>(srvTav_Wyn_General_Acs(1, 1, 1, 1, 1, 1, 1, 1, nullptr, 1, b.bytes())); }},
    {"srvTav_Wyn_General_Acs", "reply null", [](Args& b) { return static_cast<int>(srvTav_Wyn_General_Acs(1, 1, 1, 1, 1, 1, 1, 1, b.bytes(), 1, nullptr)); }},
    {"srvTav_Wyn_Primitive_Acs", "firstData null", [](Args& b) { return static_cast<int>(srvTav_Wyn_Primitive_Acs(1, 1, 1, 1, 1, 1, 1, 1, nullptr, 1, b.bytes(), 1, b.bytes())); }},
    {"srvTav_Wyn_Primitive_Acs", "secondData null", [](Args& b) { return static_cast<int>(srvTav_Wyn_Primitive_Acs(1, 1, 1, 1, 1, 1, 1, 1, b.bytes(), 1, nullptr, 1, b.bytes())); }},
    {"srvTav_Wyn_Primitive_Acs", "reply null", [](Args& b) { return static_cast<int>(srvTav_Wyn_Primitive_Acs(1, 1, 1, 1, 1, 1, 1, 1, b.bytes(), 1, b.bytes(), 1, nullptr)); }},
    {"srvTav_ParaIni_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_ParaIni_Rd(1, 1, nullptr)); }},
    {"srvTav_Para_Dat_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_Dat_Rd(nullptr, 1, b.obj<ParaRecord>())); }},
    {"srvTav_Para_Dat_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_Para_Dat_Rd(b.obj<ParaSet>(), 1, nullptr)); }},
    {"srvTav_Para_Dat_Chg", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_Dat_Chg(nullptr, 1, 0.0)); }},
    {"srvTav_Para_Dat_Init", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_Dat_Init(nullptr, 1)); }},
    {"srvTav_Para_SubTile_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_SubTile_Rd(nullptr, 1, b.out())); }},
    {"srvTav_Para_SubTile_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_Para_SubTile_Rd(b.obj<ParaSet>(), 1, nullptr)); }},
    {"srvTav_Para_ValueString_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_ValueString_Rd(nullptr, 1, 1, b.out())); }},
    {"srvTav_Para_ValueString_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_Para_ValueString_Rd(b.obj<ParaSet>(), 1, 1, nullptr)); }},
    {"srvTav_StdSyp_GrpNmae_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_StdSyp_GrpNmae_Rd(nullptr, 1, b.out())); }},
    {"srvTav_StdSyp_GrpNmae_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_StdSyp_GrpNmae_Rd(b.obj<ParaSet>(), 1, nullptr)); }},
    {"srvTav_Para_Skubun_No_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_Skubun_No_Rd(nullptr, 1, 1, b.obj<int>())); }},
    {"srvTav_Para_Skubun_No_Rd", "no null", [](Args& b) { return static_cast<int>(srvTav_Para_Skubun_No_Rd(b.obj<ParaSet>(), 1, 1, nullptr)); }},
    {"srvTav_Para_No_Skubun_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_No_Skubun_Rd(nullptr, 1, b.obj<int>())); }},
    {"srvTav_Para_No_Skubun_Rd", "codeNo null", [](Args& b) { return static_cast<int>(srvTav_Para_No_Skubun_Rd(b.obj<ParaSet>(), 1, nullptr)); }},
    {"srvTav_Para_Rd", "file null", [](Args& b) { return static_cast<int>(srvTav_Para_Rd(nullptr, 1, b.obj<ParaSet>())); }},
    {"srvTav_Para_Rd", "file empty", [](Args& b) { return static_cast<int>(srvTav_Para_Rd("", 1, b.obj<ParaSet>())); }},
    {"srvTav_Para_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_Rd(b.text("file"), 1, nullptr)); }},
    {"srvTav_Para_Wt", "file null", [](Args& b) { return static_cast<int>(srvTav_Para_Wt(nullptr, b.obj<ParaSet>())); }},
    {"srvTav_Para_Wt", "file empty", [](Args& b) { return static_cast<int>(srvTav_Para_Wt("", b.obj<ParaSet>())); }},
    {"srvTav_Para_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_Wt(b.text("file"), nullptr)); }},
    {"srvTav_Para_Create", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_Create(1, 1, nullptr)); }},
    {"srvTav_Para_FileName_Chg", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_FileName_Chg(nullptr, b.text("name"))); }},
    {"srvTav_Para_FileName_Chg", "name null", [](Args& b) { return static_cast<int>(srvTav_Para_FileName_Chg(b.obj<ParaSet>(), nullptr)); }},
    {"srvTav_Para_FileName_Chg", "name empty", [](Args& b) { return static_cast<int>(srvTav_Para_FileName_Chg(b.obj<ParaSet>(), "")); }},
    {"srvTav_Para_FileCmt_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_FileCmt_Rd(nullptr, b.out())); }},
    {"srvTav_Para_FileCmt_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_Para_FileCmt_Rd(b.obj<ParaSet>(), nullptr)); }},
    {"srvTav_Para_FileCmt_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_FileCmt_Wt(nullptr, b.text("text"))); }},
    {"srvTav_Para_FileCmt_Wt", "text null", [](Args& b) { return static_cast<int>(srvTav_Para_FileCmt_Wt(b.obj<ParaSet>(), nullptr)); }},
    {"srvTav_Para_FileCmt_Wt", "text empty", [](Args& b) { return static_cast<int>(srvTav_Para_FileCmt_Wt(b.obj<ParaSet>(), "")); }},
    {"srvTav_Para_Property_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_Property_Rd(nullptr, b.obj<ParaProperty>())); }},
    {"srvTav_Para_Property_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_Para_Property_Rd(b.obj<ParaSet>(), nullptr)); }},
    {"srvTav_Para_Property_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_Property_Wt(nullptr, b.obj<ParaProperty>())); }},
    {"srvTav_Para_Property_Wt", "in null", [](Args& b) { return static_cast<int>(srvTav_Para_Property_Wt(b.obj<ParaSet>(), nullptr)); }},
    {"srvTav_Para_ComRd", "file null", [](Args& b) { return static_cast<int>(srvTav_Para_ComRd(nullptr, b.text("station"), 1, b.obj<ParaSet>())); }},
    {"srvTav_Para_ComRd", "file empty", [](Args& b) { return static_cast<int>(srvTav_Para_ComRd("", b.text("station"), 1, b.obj<ParaSet>())); }},
    {"srvTav_Para_ComRd", "station null", [](Args& b) { return static_cast<int>(srvTav_Para_ComRd(b.text("file"), nullptr, 1, b.obj<ParaSet>())); }},
    {"srvTav_Para_ComRd", "station empty", [](Args& b) { return static_cast<int>(srvTav_Para_ComRd(b.text("file"), "", 1, b.obj<ParaSet>())); }},
    {"srvTav_Para_ComRd", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_ComRd(b.text("file"), b.text("station"), 1, nullptr)); }},
    {"srvTav_Para_ComWt", "file null", [](Args& b) { return static_cast<int>(srvTav_Para_ComWt(nullptr, b.text("station"), 1, 1, b.obj<ParaSet>())); }},
    {"srvTav_Para_ComWt", "file empty", [](Args& b) { return static_cast<int>(srvTav_Para_ComWt("", b.text("station"), 1, 1, b.obj<ParaSet>())); }},
    {"srvTav_Para_ComWt", "station null", [](Args& b) { return static_cast<int>(srvTav_Para_ComWt(b.text("file"), nullptr, 1, 1, b.obj<ParaSet>())); }},
    {"srvTav_Para_ComWt", "station empty", [](Args& b) { return static_cast<int>(srvTav_Para_ComWt(b.text("file"), "", 1, 1, b.obj<ParaSet>())); }},
    {"srvTav_Para_ComWt", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_ComWt(b.text("file"), b.text("station"), 1, 1, nullptr)); }},
    {"srvTav_Para_Amp_Rd", "station null", [](Args& b) { return static_cast<int>(srvTav_Para_Amp_Rd(nullptr, b.obj<ParaSet>())); }},
    {"srvTav_Para_Amp_Rd", "station empty", [](Args& b) { return static_cast<int>(srvTav_Para_Amp_Rd("", b.obj<ParaSet>())); }},
    {"srvTav_Para_Amp_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_Amp_Rd(b.text("station"), nullptr)); }},
    {"srvTav_Para_Amp_Wt", "station null", [](Args& b) { return static_cast<int>(srvTav_Para_Amp_Wt(nullptr, 1, b.obj<ParaSet>())); }},
    {"srvTav_Para_Amp_Wt", "station empty", [](Args& b) { return static_cast<int>(srvTav_Para_Amp_Wt("", 1, b.obj<ParaSet>())); }},
    {"srvTav_Para_Amp_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_Amp_Wt(b.text("station"), 1, nullptr)); }},
    {"srvTav_Para_Syousuh_Chg", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_Syousuh_Chg(nullptr, 1, 1, 1)); }},
    {"srvTav_ParaPrint_Mak", "set null", [](Args& b) { return static_cast<int>(srvTav_ParaPrint_Mak(nullptr, b.obj<ParaPrint>())); }},
    {"srvTav_ParaPrint_Mak", "out null", [](Args& b) { return static_cast<int>(srvTav_ParaPrint_Mak(b.obj<ParaSet>(), nullptr)); }},
    {"srvTav_ParaCsvType_Wt", "file null", [](Args& b) { return static_cast<int>(srvTav_ParaCsvType_Wt(nullptr, b.obj<ParaSet>())); }},
    {"srvTav_ParaCsvType_Wt", "file empty", [](Args& b) { return static_cast<int>(srvTav_ParaCsvType_Wt("", b.obj<ParaSet>())); }},
    {"srvTav_ParaCsvType_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_ParaCsvType_Wt(b.text("file"), nullptr)); }},
    {"srvTav_Para_Ctl_Inf_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_Para_Ctl_Inf_Rd(nullptr, 1, b.out())); }},
    {"srvTav_Para_Ctl_Inf_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_Para_Ctl_Inf_Rd(b.obj<ParaSet>(), 1, nullptr)); }},
    {"srvTav_ParaTitle_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_ParaTitle_Rd(nullptr, b.out(), b.out(), b.out(), b.out(), b.out(), b.out())); }},
    {"srvTav_ParaTitle_Rd", "drive null", [](Args& b) { return static_cast<int>(srvTav_ParaTitle_Rd(b.obj<ParaSet>(), nullptr, b.out(), b.out(), b.out(), b.out(), b.out())); }},
    {"srvTav_ParaTitle_Rd", "dir null", [](Args& b) { return static_cast<int>(srvTav_ParaTitle_Rd(b.obj<ParaSet>(), b.out(), nullptr, b.out(), b.out(), b.out(), b.out())); }},
    {"srvTav_ParaTitle_Rd", "name null", [](Args& b) { return static_cast<int>(srvTav_ParaTitle_Rd(b.obj<ParaSet>(), b.out(), b.out(), nullptr, b.out(), b.out(), b.out())); }},
    {"srvTav_ParaTitle_Rd", "spare1 null", [](Args& b) { return static_cast<int>(srvTav_ParaTitle_Rd(b.obj<ParaSet>(), b.out(), b.out(), b.out(), nullptr, b.out(), b.out())); }},
    {"srvTav_ParaTitle_Rd", "spare2 null", [](Args& b) { return static_cast<int>(srvTav_ParaTitle_Rd(b.obj<ParaSet>(), b.out(), b.out(), b.out(), b.out(), nullptr, b.out())); }},
    {"srvTav_ParaTitle_Rd", "title null", [](Args& b) { return static_cast<int>(srvTav_ParaTitle_Rd(b.obj<ParaSet>(), b.out(), b.out(), b.out(), b.out(), b.out(), nullptr)); }},
    {"srvTav_NewParaIni_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_NewParaIni_Rd(1, 1, 1, nullptr)); }},
    {"srvTav_NewParaIni_Rd2", "set null", [](Args& b) { return static_cast<int>(srvTav_NewParaIni_Rd2(1, 1, 1, nullptr)); }},
    {"srvTav_NewParaTitle_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_NewParaTitle_Rd(nullptr, b.out(), b.out(), b.out(), b.out(), b.out(), b.out())); }},
    {"srvTav_NewParaTitle_Rd", "drive null", [](Args& b) { return static_cast<int>(srvTav_NewParaTitle_Rd(b.obj<NewParaSet>(), nullptr, b.out(), b.out(), b.out(), b.out(), b.out())); }},
    {"srvTav_NewParaTitle_Rd", "dir null", [](Args& b) { return static_cast<int>(srvTav_NewParaTitle_Rd(b.obj<NewParaSet>(), b.out(), nullptr, b.out(), b.out(), b.out(), b.out())); }},
    {"srvTav_NewParaTitle_Rd", "name null", [](Args& b) { return static_cast<int>(srvTav_NewParaTitle_Rd(b.obj<NewParaSet>(), b.out(), b.out(), nullptr, b.out(), b.out(), b.out())); }},
    {"srvTav_NewParaTitle_Rd", "out4 null", [](Args& b) { return static_cast<int>(srvTav_NewParaTitle_Rd(b.obj<NewParaSet>(), b.out(), b.out(), b.out(), nullptr, b.out(), b.out())); }},
    {"srvTav_NewParaTitle_Rd", "out5 null", [](Args& b) { return static_cast<int>(srvTav_NewParaTitle_Rd(b.obj<NewParaSet>(), b.out(), b.out(), b.out(), b.out(), nullptr, b.out())); }},
    {"srvTav_NewParaTitle_Rd", "title null", [](Args& b) { return static_cast<int>(srvTav_NewParaTitle_Rd(b.obj<NewParaSet>(), b.out(), b.out(), b.out(), b.out(), b.out(), nullptr)); }},
    {"srvTav_NewPara_Dat_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Dat_Rd(nullptr, 1, b.obj<NewParaRecord>())); }},
    {"srvTav_NewPara_Dat_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Dat_Rd(b.obj<NewParaSet>(), 1, nullptr)); }},
    {"srvTav_NewPara_SubTile_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_SubTile_Rd(nullptr, 1, b.out())); }},
    {"srvTav_NewPara_SubTile_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_NewPara_SubTile_Rd(b.obj<NewParaSet>(), 1, nullptr)); }},
    {"srvTav_NewPara_ValueString_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_ValueString_Rd(nullptr, 1, 1, b.out())); }},
    {"srvTav_NewPara_ValueString_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_NewPara_ValueString_Rd(b.obj<NewParaSet>(), 1, 1, nullptr)); }},
    {"srvTav_NewPara_Skubun_No_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Skubun_No_Rd(nullptr, 1, 1, b.obj<int>())); }},
    {"srvTav_NewPara_Skubun_No_Rd", "no null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Skubun_No_Rd(b.obj<NewParaSet>(), 1, 1, nullptr)); }},
    {"srvTav_NewPara_No_Skubun_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_No_Skubun_Rd(nullptr, 1, b.obj<int>())); }},
    {"srvTav_NewPara_No_Skubun_Rd", "codeNo null", [](Args& b) { return static_cast<int>(srvTav_NewPara_No_Skubun_Rd(b.obj<NewParaSet>(), 1, nullptr)); }},
    {"srvTav_NewPara_Dat_Chg", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Dat_Chg(nullptr, 1, 0.0)); }},
    {"srvTav_NewPara_Dat_Init", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Dat_Init(nullptr, 1)); }},
    {"srvTav_NewPara_Syousuh_Chg", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Syousuh_Chg(nullptr, 1, 1, 1, 1)); }},
    {"srvTav_NewPara_Rd", "path null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Rd(nullptr, 1, b.obj<NewParaSet>())); }},
    {"srvTav_NewPara_Rd", "path empty", [](Args& b) { return static_cast<int>(srvTav_NewPara_Rd("", 1, b.obj<NewParaSet>())); }},
    {"srvTav_NewPara_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Rd(b.text("path"), 1, nullptr)); }},
    {"srvTav_NewPara_Wt", "path null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Wt(nullptr, b.obj<NewParaSet>())); }},
    {"srvTav_NewPara_Wt", "path empty", [](Args& b) { return static_cast<int>(srvTav_NewPara_Wt("", b.obj<NewParaSet>())); }},
    {"srvTav_NewPara_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Wt(b.text("path"), nullptr)); }},
    {"srvTav_NewPara_Create", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Create(1, 1, nullptr)); }},
    {"srvTav_NewPara_FileName_Chg", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_FileName_Chg(nullptr, b.text("name"))); }},
    {"srvTav_NewPara_FileName_Chg", "name null", [](Args& b) { return static_cast<int>(srvTav_NewPara_FileName_Chg(b.obj<NewParaSet>(), nullptr)); }},
    {"srvTav_NewPara_FileName_Chg", "name empty", [](Args& b) { return static_cast<int>(srvTav_NewPara_FileName_Chg(b.obj<NewParaSet>(), "")); }},
    {"srvTav_NewPara_FileCmt_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_FileCmt_Rd(nullptr, b.out())); }},
    {"srvTav_NewPara_FileCmt_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_NewPara_FileCmt_Rd(b.obj<NewParaSet>(), nullptr)); }},
    {"srvTav_NewPara_FileCmt_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_FileCmt_Wt(nullptr, b.text("text"))); }},
    {"srvTav_NewPara_FileCmt_Wt", "text null", [](Args& b) { return static_cast<int>(srvTav_NewPara_FileCmt_Wt(b.obj<NewParaSet>(), nullptr)); }},
    {"srvTav_NewPara_FileCmt_Wt", "text empty", [](Args& b) { return static_cast<int>(srvTav_NewPara_FileCmt_Wt(b.obj<NewParaSet>(), "")); }},
    {"srvTav_NewPara_Property_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Property_Rd(nullptr, b.obj<NewParaProperty>())); }},
    {"srvTav_NewPara_Property_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Property_Rd(b.obj<NewParaSet>(), nullptr)); }},
    {"srvTav_NewPara_Property_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Property_Wt(nullptr, b.obj<NewParaProperty>())); }},
    {"srvTav_NewPara_Property_Wt", "prop null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Property_Wt(b.obj<NewParaSet>(), nullptr)); }},
    {"srvTav_NewPara_Ctl_Inf_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Ctl_Inf_Rd(nullptr, 1, b.obj<int>(), b.out())); }},
    {"srvTav_NewPara_Ctl_Inf_Rd", "lines null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Ctl_Inf_Rd(b.obj<NewParaSet>(), 1, nullptr, b.out())); }},
    {"srvTav_NewPara_Ctl_Inf_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Ctl_Inf_Rd(b.obj<NewParaSet>(), 1, b.obj<int>(), nullptr)); }},
    {"srvTav_NewPara_ComRd", "path null", [](Args& b) { return static_cast<int>(srvTav_NewPara_ComRd(nullptr, b.text("stationText"), 1, b.obj<NewParaSet>(), 1, 1)); }},
    {"srvTav_NewPara_ComRd", "path empty", [](Args& b) { return static_cast<int>(srvTav_NewPara_ComRd("", b.text("stationText"), 1, b.obj<NewParaSet>(), 1, 1)); }},
    {"srvTav_NewPara_ComRd", "stationText null", [](Args& b) { return static_cast<int>(srvTav_NewPara_ComRd(b.text("path"), nullptr, 1, b.obj<NewParaSet>(), 1, 1)); }},
    {"srvTav_NewPara_ComRd", "stationText empty", [](Args& b) { return static_cast<int>(srvTav_NewPara_ComRd(b.text("path"), "", 1, b.obj<NewParaSet>(), 1, 1)); }},
    {"srvTav_NewPara_ComRd", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_ComRd(b.text("path"), b.text("stationText"), 1, nullptr, 1, 1)); }},
    {"srvTav_NewPara_ComWt", "path null", [](Args& b) { return static_cast<int>(srvTav_NewPara_ComWt(nullptr, b.text("stationText"), 1, 1, b.obj<NewParaSet>())); }},
    {"srvTav_NewPara_ComWt", "path empty", [](Args& b) { return static_cast<int>(srvTav_NewPara_ComWt("", b.text("stationText"), 1, 1, b.obj<NewParaSet>())); }},
    {"srvTav_NewPara_ComWt", "stationText null", [](Args& b) { return static_cast<int>(srvTav_NewPara_ComWt(b.text("path"), nullptr, 1, 1, b.obj<NewParaSet>())); }},
    {"srvTav_NewPara_ComWt", "stationText empty", [](Args& b) { return static_cast<int>(srvTav_NewPara_ComWt(b.text("path"), "", 1, 1, b.obj<NewParaSet>())); }},
    {"srvTav_NewPara_ComWt", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_ComWt(b.text("path"), b.text("stationText"), 1, 1, nullptr)); }},
    {"srvTav_NewPara_ComInitWt", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_ComInitWt(nullptr)); }},
    {"srvTav_NewPara_Amp_Rd", "stationText null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Amp_Rd(nullptr, b.obj<NewParaSet>(), 1, 1)); }},
    {"srvTav_NewPara_Amp_Rd", "stationText empty", [](Args& b) { return static_cast<int>(srvTav_NewPara_Amp_Rd("", b.obj<NewParaSet>(), 1, 1)); }},
    {"srvTav_NewPara_Amp_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Amp_Rd(b.text("stationText"), nullptr, 1, 1)); }},
    {"srvTav_NewPara_Amp_Wt", "stationText null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Amp_Wt(nullptr, 1, b.obj<NewParaSet>())); }},
    {"srvTav_NewPara_Amp_Wt", "stationText empty", [](Args& b) { return static_cast<int>(srvTav_NewPara_Amp_Wt("", 1, b.obj<NewParaSet>())); }},
    {"srvTav_NewPara_Amp_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Amp_Wt(b.text("stationText"), 1, nullptr)); }},
    {"srvTav_NewPara_Amp_Ini_Wt", "stationText null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Amp_Ini_Wt(nullptr, 1, b.obj<NewParaSet>())); }},
    {"srvTav_NewPara_Amp_Ini_Wt", "stationText empty", [](Args& b) { return static_cast<int>(srvTav_NewPara_Amp_Ini_Wt("", 1, b.obj<NewParaSet>())); }},
    {"srvTav_NewPara_Amp_Ini_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_NewPara_Amp_Ini_Wt(b.text("stationText"), 1, nullptr)); }},
    {"srvTav_NewParaPrint_Mak", "set null", [](Args& b) { return static_cast<int>(srvTav_NewParaPrint_Mak(nullptr, b.obj<NewParaPrint>())); }},
    {"srvTav_NewParaPrint_Mak", "out null", [](Args& b) { return static_cast<int>(srvTav_NewParaPrint_Mak(b.obj<NewParaSet>(), nullptr)); }},
    {"srvTav_NewParaCsvType_Wt", "path null", [](Args& b) { return static_cast<int>(srvTav_NewParaCsvType_Wt(nullptr, b.obj<NewParaSet>())); }},
    {"srvTav_NewParaCsvType_Wt", "path empty", [](Args& b) { return static_cast<int>(srvTav_NewParaCsvType_Wt("", b.obj<NewParaSet>())); }},
    {"srvTav_NewParaCsvType_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_NewParaCsvType_Wt(b.text("path"), nullptr)); }},
    {"srvTav_ItiDat_Init", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_Init(nullptr, 1)); }},
    {"srvTav_ItiDat_Chg", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_Chg(nullptr, 1, 1, 1, 0.0, 0.0, 0.0, 1, 1, 1)); }},
    {"srvTav_ItiDat_Insert", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_Insert(nullptr, 1, 1, 1, 0.0, 0.0, 0.0, 1, 1, 1)); }},
    {"srvTav_ItiDat_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_Rd(nullptr, 1, b.obj<ItiDatPoint>())); }},
    {"srvTav_ItiDat_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_Rd(b.obj<ItiDatSet>(), 1, nullptr)); }},
    {"srvTav_ItiAtt_Chg", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiAtt_Chg(nullptr, 1)); }},
    {"srvTav_ItiAtt_Chg2", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiAtt_Chg2(nullptr, 1)); }},
    {"srvTav_ItiDat_FileName_Chg", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_FileName_Chg(nullptr, b.text("name"))); }},
    {"srvTav_ItiDat_FileName_Chg", "name null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_FileName_Chg(b.obj<ItiDatSet>(), nullptr)); }},
    {"srvTav_ItiDat_FileName_Chg", "name empty", [](Args& b) { return static_cast<int>(srvTav_ItiDat_FileName_Chg(b.obj<ItiDatSet>(), "")); }},
    {"srvTav_ItiDat_FileCmt_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_FileCmt_Rd(nullptr, b.out())); }},
    {"srvTav_ItiDat_FileCmt_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_FileCmt_Rd(b.obj<ItiDatSet>(), nullptr)); }},
    {"srvTav_ItiDat_FileCmt_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_FileCmt_Wt(nullptr, b.text("text"))); }},
    {"srvTav_ItiDat_FileCmt_Wt", "text null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_FileCmt_Wt(b.obj<ItiDatSet>(), nullptr)); }},
    {"srvTav_ItiDat_FileCmt_Wt", "text empty", [](Args& b) { return static_cast<int>(srvTav_ItiDat_FileCmt_Wt(b.obj<ItiDatSet>(), "")); }},
    {"srvTav_ItiTitle_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiTitle_Rd(nullptr, b.out(), b.out(), b.out(), b.out(), b.out(), b.out())); }},
    {"srvTav_ItiTitle_Rd", "drive null", [](Args& b) { return static_cast<int>(srvTav_ItiTitle_Rd(b.obj<ItiDatSet>(), nullptr, b.out(), b.out(), b.out(), b.out(), b.out())); }},
    {"srvTav_ItiTitle_Rd", "dir null", [](Args& b) { return static_cast<int>(srvTav_ItiTitle_Rd(b.obj<ItiDatSet>(), b.out(), nullptr, b.out(), b.out(), b.out(), b.out())); }},
    {"srvTav_ItiTitle_Rd", "baseName null", [](Args& b) { return static_cast<int>(srvTav_ItiTitle_Rd(b.obj<ItiDatSet>(), b.out(), b.out(), nullptr, b.out(), b.out(), b.out())); }},
    {"srvTav_ItiTitle_Rd", "out4 null", [](Args& b) { return static_cast<int>(srvTav_ItiTitle_Rd(b.obj<ItiDatSet>(), b.out(), b.out(), b.out(), nullptr, b.out(), b.out())); }},
    {"srvTav_ItiTitle_Rd", "out5 null", [](Args& b) { return static_cast<int>(srvTav_ItiTitle_Rd(b.obj<ItiDatSet>(), b.out(), b.out(), b.out(), b.out(), nullptr, b.out())); }},
    {"srvTav_ItiTitle_Rd", "title null", [](Args& b) { return static_cast<int>(srvTav_ItiTitle_Rd(b.obj<ItiDatSet>(), b.out(), b.out(), b.out(), b.out(), b.out(), nullptr)); }},
    {"srvTav_ItiDatFil_Rd", "fileName null", [](Args& b) { return static_cast<int>(srvTav_ItiDatFil_Rd(nullptr, b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDatFil_Rd", "fileName empty", [](Args& b) { return static_cast<int>(srvTav_ItiDatFil_Rd("", b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDatFil_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDatFil_Rd(b.text("fileName"), nullptr)); }},
    {"srvTav_ItiDatFil_Wt", "fileName null", [](Args& b) { return static_cast<int>(srvTav_ItiDatFil_Wt(nullptr, b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDatFil_Wt", "fileName empty", [](Args& b) { return static_cast<int>(srvTav_ItiDatFil_Wt("", b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDatFil_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDatFil_Wt(b.text("fileName"), nullptr)); }},
    {"srvTav_ItiDatFil_Create", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDatFil_Create(1, nullptr)); }},
    {"srvTav_ItiDat_ComRd", "fileName null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_ComRd(nullptr, b.text("ampText"), b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDat_ComRd", "fileName empty", [](Args& b) { return static_cast<int>(srvTav_ItiDat_ComRd("", b.text("ampText"), b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDat_ComRd", "ampText null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_ComRd(b.text("fileName"), nullptr, b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDat_ComRd", "ampText empty", [](Args& b) { return static_cast<int>(srvTav_ItiDat_ComRd(b.text("fileName"), "", b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDat_ComRd", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_ComRd(b.text("fileName"), b.text("ampText"), nullptr)); }},
    {"srvTav_ItiDat_ComWt", "fileName null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_ComWt(nullptr, b.text("ampText"), 1, b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDat_ComWt", "fileName empty", [](Args& b) { return static_cast<int>(srvTav_ItiDat_ComWt("", b.text("ampText"), 1, b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDat_ComWt", "ampText null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_ComWt(b.text("fileName"), nullptr, 1, b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDat_ComWt", "ampText empty", [](Args& b) { return static_cast<int>(srvTav_ItiDat_ComWt(b.text("fileName"), "", 1, b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDat_ComWt", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_ComWt(b.text("fileName"), b.text("ampText"), 1, nullptr)); }},
    {"srvTav_ItiDat_AmpRd", "ampText null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_AmpRd(nullptr, b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDat_AmpRd", "ampText empty", [](Args& b) { return static_cast<int>(srvTav_ItiDat_AmpRd("", b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDat_AmpRd", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_AmpRd(b.text("ampText"), nullptr)); }},
    {"srvTav_ItiDat_AmpWt", "ampText null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_AmpWt(nullptr, 1, b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDat_AmpWt", "ampText empty", [](Args& b) { return static_cast<int>(srvTav_ItiDat_AmpWt("", 1, b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDat_AmpWt", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_AmpWt(b.text("ampText"), 1, nullptr)); }},
    {"srvTav_ItiAtt_AmpRd", "ampText null", [](Args& b) { return static_cast<int>(srvTav_ItiAtt_AmpRd(nullptr, b.obj<unsigned short>(), b.obj<unsigned short>())); }},
    {"srvTav_ItiAtt_AmpRd", "ampText empty", [](Args& b) { return static_cast<int>(srvTav_ItiAtt_AmpRd("", b.obj<unsigned short>(), b.obj<unsigned short>())); }},
    {"srvTav_ItiAtt_AmpRd", "stopPosDp null", [](Args& b) { return static_cast<int>(srvTav_ItiAtt_AmpRd(b.text("ampText"), nullptr, b.obj<unsigned short>())); }},
    {"srvTav_ItiAtt_AmpRd", "stopTimeDp null", [](Args& b) { return static_cast<int>(srvTav_ItiAtt_AmpRd(b.text("ampText"), b.obj<unsigned short>(), nullptr)); }},
    {"srvTav_ItiNoDat_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_ItiNoDat_Rd(1, 1, nullptr)); }},
    {"srvTav_ItiDatPrint_mak", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDatPrint_mak(nullptr, b.obj<ItiDatPrintData>())); }},
    {"srvTav_ItiDatPrint_mak", "out null", [](Args& b) { return static_cast<int>(srvTav_ItiDatPrint_mak(b.obj<ItiDatSet>(), nullptr)); }},
    {"srvTav_ItiDat_Ctl_Inf_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_Ctl_Inf_Rd(nullptr, 1, b.obj<int>(), b.out())); }},
    {"srvTav_ItiDat_Ctl_Inf_Rd", "lineCount null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_Ctl_Inf_Rd(b.obj<ItiDatSet>(), 1, nullptr, b.out())); }},
    {"srvTav_ItiDat_Ctl_Inf_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_ItiDat_Ctl_Inf_Rd(b.obj<ItiDatSet>(), 1, b.obj<int>(), nullptr)); }},
    {"srvTav_ItiDatCsvType_Wt", "fileName null", [](Args& b) { return static_cast<int>(srvTav_ItiDatCsvType_Wt(nullptr, b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDatCsvType_Wt", "fileName empty", [](Args& b) { return static_cast<int>(srvTav_ItiDatCsvType_Wt("", b.obj<ItiDatSet>())); }},
    {"srvTav_ItiDatCsvType_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiDatCsvType_Wt(b.text("fileName"), nullptr)); }},
    {"srvTav_ItiVvDat_Init", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_Init(nullptr, 1)); }},
    {"srvTav_ItiVvDat_Chg", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_Chg(nullptr, 1, 1, 1, 0.0, 0.0, 0.0, 0.0, 0.0, 1, 1, 1)); }},
    {"srvTav_ItiVvDat_Insert", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_Insert(nullptr, 1, 1, 1, 0.0, 0.0, 0.0, 0.0, 0.0, 1, 1, 1)); }},
    {"srvTav_ItiVvDat_Delete", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_Delete(nullptr, 1)); }},
    {"srvTav_ItiVvDat_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_Rd(nullptr, 1, b.obj<ItiVvDatPoint>())); }},
    {"srvTav_ItiVvDat_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_Rd(b.obj<ItiVvDatSet>(), 1, nullptr)); }},
    {"srvTav_ItiVvAtt_Chg", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvAtt_Chg(nullptr, 1)); }},
    {"srvTav_ItiVvAtt_Chg2", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvAtt_Chg2(nullptr, 1)); }},
    {"srvTav_ItiVvAtt_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvAtt_Rd(nullptr, b.obj<unsigned short>())); }},
    {"srvTav_ItiVvAtt_Rd", "dp null", [](Args& b) { return static_cast<int>(srvTav_ItiVvAtt_Rd(b.obj<ItiVvDatSet>(), nullptr)); }},
    {"srvTav_ItiVvTitle_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvTitle_Rd(nullptr, b.out(), b.out(), b.out(), b.out(), b.out(), b.out())); }},
    {"srvTav_ItiVvTitle_Rd", "drive null", [](Args& b) { return static_cast<int>(srvTav_ItiVvTitle_Rd(b.obj<ItiVvDatSet>(), nullptr, b.out(), b.out(), b.out(), b.out(), b.out())); }},
    {"srvTav_ItiVvTitle_Rd", "dir null", [](Args& b) { return static_cast<int>(srvTav_ItiVvTitle_Rd(b.obj<ItiVvDatSet>(), b.out(), nullptr, b.out(), b.out(), b.out(), b.out())); }},
    {"srvTav_ItiVvTitle_Rd", "baseName null", [](Args& b) { return static_cast<int>(srvTav_ItiVvTitle_Rd(b.obj<ItiVvDatSet>(), b.out(), b.out(), nullptr, b.out(), b.out(), b.out())); }},
    {"srvTav_ItiVvTitle_Rd", "out4 null", [](Args& b) { return static_cast<int>(srvTav_ItiVvTitle_Rd(b.obj<ItiVvDatSet>(), b.out(), b.out(), b.out(), nullptr, b.out(), b.out())); }},
    {"srvTav_ItiVvTitle_Rd", "out5 null", [](Args& b) { return static_cast<int>(srvTav_ItiVvTitle_Rd(b.obj<ItiVvDatSet>(), b.out(), b.out(), b.out(), b.out(), nullptr, b.out())); }},
    {"srvTav_ItiVvTitle_Rd", "title null", [](Args& b) { return static_cast<int>(srvTav_ItiVvTitle_Rd(b.obj<ItiVvDatSet>(), b.out(), b.out(), b.out(), b.out(), b.out(), nullptr)); }},
    {"srvTav_ItiVvDat_FileName_Chg", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_FileName_Chg(nullptr, b.text("name"))); }},
    {"srvTav_ItiVvDat_FileName_Chg", "name null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_FileName_Chg(b.obj<ItiVvDatSet>(), nullptr)); }},
    {"srvTav_ItiVvDat_FileName_Chg", "name empty", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_FileName_Chg(b.obj<ItiVvDatSet>(), "")); }},
    {"srvTav_ItiVvDat_FileCmt_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_FileCmt_Rd(nullptr, b.out())); }},
    {"srvTav_ItiVvDat_FileCmt_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_FileCmt_Rd(b.obj<ItiVvDatSet>(), nullptr)); }},
    {"srvTav_ItiVvDat_FileCmt_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_FileCmt_Wt(nullptr, b.text("text"))); }},
    {"srvTav_ItiVvDat_FileCmt_Wt", "text null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_FileCmt_Wt(b.obj<ItiVvDatSet>(), nullptr)); }},
    {"srvTav_ItiVvDat_FileCmt_Wt", "text empty", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_FileCmt_Wt(b.obj<ItiVvDatSet>(), "")); }},
    {"srvTav_ItiVvDatFil_Rd", "fileName null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDatFil_Rd(nullptr, b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDatFil_Rd", "fileName empty", [](Args& b) { return static_cast<int>(srvTav_ItiVvDatFil_Rd("", b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDatFil_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDatFil_Rd(b.text("fileName"), nullptr)); }},
    {"srvTav_ItiVvDatFil_Wt", "fileName null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDatFil_Wt(nullptr, b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDatFil_Wt", "fileName empty", [](Args& b) { return static_cast<int>(srvTav_ItiVvDatFil_Wt("", b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDatFil_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDatFil_Wt(b.text("fileName"), nullptr)); }},
    {"srvTav_ItiVvDatFil_Create", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDatFil_Create(1, nullptr)); }},
    {"srvTav_ItiVvDat_ComRd", "fileName null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_ComRd(nullptr, b.text("ampText"), b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDat_ComRd", "fileName empty", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_ComRd("", b.text("ampText"), b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDat_ComRd", "ampText null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_ComRd(b.text("fileName"), nullptr, b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDat_ComRd", "ampText empty", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_ComRd(b.text("fileName"), "", b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDat_ComRd", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_ComRd(b.text("fileName"), b.text("ampText"), nullptr)); }},
    {"srvTav_ItiVvDat_ComWt", "fileName null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_ComWt(nullptr, b.text("ampText"), 1, b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDat_ComWt", "fileName empty", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_ComWt("", b.text("ampText"), 1, b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDat_ComWt", "ampText null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_ComWt(b.text("fileName"), nullptr, 1, b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDat_ComWt", "ampText empty", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_ComWt(b.text("fileName"), "", 1, b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDat_ComWt", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_ComWt(b.text("fileName"), b.text("ampText"), 1, nullptr)); }},
    {"srvTav_ItiVvDat_AmpRd", "ampText null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_AmpRd(nullptr, b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDat_AmpRd", "ampText empty", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_AmpRd("", b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDat_AmpRd", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_AmpRd(b.text("ampText"), nullptr)); }},
    {"srvTav_ItiVvDat_AmpWt", "ampText null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_AmpWt(nullptr, 1, b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDat_AmpWt", "ampText empty", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_AmpWt("", 1, b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDat_AmpWt", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_AmpWt(b.text("ampText"), 1, nullptr)); }},
    {"srvTav_ItiVvDat_InitWt", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_InitWt(nullptr)); }},
    {"srvTav_ItiVvAtt_AmpRd", "ampText null", [](Args& b) { return static_cast<int>(srvTav_ItiVvAtt_AmpRd(nullptr, b.obj<unsigned short>(), b.obj<unsigned short>())); }},
    {"srvTav_ItiVvAtt_AmpRd", "ampText empty", [](Args& b) { return static_cast<int>(srvTav_ItiVvAtt_AmpRd("", b.obj<unsigned short>(), b.obj<unsigned short>())); }},
    {"srvTav_ItiVvAtt_AmpRd", "stopPosDp null", [](Args& b) { return static_cast<int>(srvTav_ItiVvAtt_AmpRd(b.text("ampText"), nullptr, b.obj<unsigned short>())); }},
    {"srvTav_ItiVvAtt_AmpRd", "stopTimeDp null", [](Args& b) { return static_cast<int>(srvTav_ItiVvAtt_AmpRd(b.text("ampText"), b.obj<unsigned short>(), nullptr)); }},
    {"srvTav_ItiVvDatPrint_mak", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDatPrint_mak(nullptr, b.obj<ItiVvDatPrintData>())); }},
    {"srvTav_ItiVvDatPrint_mak", "out null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDatPrint_mak(b.obj<ItiVvDatSet>(), nullptr)); }},
    {"srvTav_ItiVvDat_Ctl_Inf_Rd", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_Ctl_Inf_Rd(nullptr, 1, b.obj<int>(), b.out())); }},
    {"srvTav_ItiVvDat_Ctl_Inf_Rd", "lineCount null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_Ctl_Inf_Rd(b.obj<ItiVvDatSet>(), 1, nullptr, b.out())); }},
    {"srvTav_ItiVvDat_Ctl_Inf_Rd", "out null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDat_Ctl_Inf_Rd(b.obj<ItiVvDatSet>(), 1, b.obj<int>(), nullptr)); }},
    {"srvTav_ItiVvDatCsvType_Wt", "fileName null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDatCsvType_Wt(nullptr, b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDatCsvType_Wt", "fileName empty", [](Args& b) { return static_cast<int>(srvTav_ItiVvDatCsvType_Wt("", b.obj<ItiVvDatSet>())); }},
    {"srvTav_ItiVvDatCsvType_Wt", "set null", [](Args& b) { return static_cast<int>(srvTav_ItiVvDatCsvType_Wt(b.text("fileName"), nullptr)); }},
};

const std::set<std::string> kNotCalled = {"w1_test", "tavplat_set_message_box", "srvTav_fprintf",
                                          "srvTav_Mon_fprintf", "srvTav_ComPortLock",
                                          "srvTav_ComPortUnlock_quimbel"};

// An installation with the line on the in-process simulator, so that calls
// that get through their checks run for real.
class Robustness : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string share = std::string(TAV_BUILD_DIR) + "/share/tav/";
        home.write("servo.set", tavtest::read_file(share + "servo.set"));
        home.write("servo.con", tavtest::read_file(share + "servo.con"));
        home.write("wyn.ini", "[Ports]\r\nCOM1=sim:state.json\r\n");
        fs::create_directories(home.file("lock"));
        fs::copy(share + "def", home.file("def"));
        fs::copy(share + "template", home.file("template"));
        home.write("file.k7l", tavtest::read_file(share + "template/50.k7l"));
        tavplat_set_message_box([](const char*, const char*, unsigned) { return 1; });
        old_ = fs::current_path();
        fs::current_path(home.path());
    }
    void TearDown() override {
        fs::current_path(old_);
        tavplat_set_message_box(nullptr);
    }
    // Whatever a call left behind (an open line, a held lock) is undone.
    static void settle() {
        Wyn_Net_Close();
        srvTav_TraceUnlock(0);
        srvTav_ComPortUnlock();
    }

    tavtest::TempHost host;
    tavtest::TempInstall home;
    fs::path old_;
};

TEST_F(Robustness, EveryNullOrEmptyArgumentGivesACode) {
    for (const NullCall& c : kNullCalls) {
        SCOPED_TRACE(std::string(c.function) + ": " + c.what);
        Args args;
        args.dir = home.path();
        const int rc = c.call(args);
        if (std::getenv("ROBUSTNESS_SHOW") != nullptr) std::printf("SHOW %s %s rc=%d\n", c.function, c.what, rc);
        // A code of the library (-69..0) or of the component (positive).
        EXPECT_GE(rc, -69);
        EXPECT_LE(rc, 255);
        settle();
    }
}

// Numbers outside their ranges: a code, and the set exactly as it was.
TEST_F(Robustness, OutOfRangeNumbersLeaveTheSetsAsTheyWere) {
    auto np = std::make_unique<NewParaSet>();
    ASSERT_EQ(srvTav_NewPara_Create(0, 0, np.get()), 0);
    const auto npCopy = std::make_unique<NewParaSet>(*np);
    NewParaRecord nrec{};
    char text[4096] = {};
    int n = 0;
    for (int no : {-1, 0, 298, 100000}) {
        SCOPED_TRACE(no);
        EXPECT_NE(srvTav_NewPara_Dat_Rd(np.get(), no, &nrec), 0);
        EXPECT_NE(srvTav_NewPara_Dat_Chg(np.get(), no, 1.0), 0);
        EXPECT_NE(srvTav_NewPara_Dat_Init(np.get(), no), 0);
        EXPECT_NE(srvTav_NewPara_SubTile_Rd(np.get(), no, text), 0);
        EXPECT_NE(srvTav_NewPara_No_Skubun_Rd(np.get(), no, &n), 0);
    }
    for (int code : {-1, 23, 1000}) EXPECT_NE(srvTav_NewPara_Skubun_No_Rd(np.get(), code, 0, &n), 0) << code;
    for (int idx : {-1, 10, 1000}) EXPECT_NE(srvTav_NewPara_ValueString_Rd(np.get(), 1, idx, text), 0) << idx;
    EXPECT_EQ(std::memcmp(np.get(), npCopy.get(), sizeof(NewParaSet)), 0);

    auto ps = std::make_unique<ParaSet>();
    ASSERT_EQ(srvTav_Para_Create(0, 0, ps.get()), 0);
    const auto psCopy = std::make_unique<ParaSet>(*ps);
    ParaRecord prec{};
    for (int no : {-1, 0, 100, 100000}) {
        SCOPED_TRACE(no);
        EXPECT_NE(srvTav_Para_Dat_Rd(ps.get(), no, &prec), 0);
        EXPECT_NE(srvTav_Para_Dat_Chg(ps.get(), no, 1.0), 0);
        EXPECT_NE(srvTav_Para_Dat_Init(ps.get(), no), 0);
        EXPECT_NE(srvTav_Para_SubTile_Rd(ps.get(), no, text), 0);
        EXPECT_NE(srvTav_Para_No_Skubun_Rd(ps.get(), no, &n), 0);
    }
    for (int idx : {-1, 8, 1000}) EXPECT_NE(srvTav_Para_ValueString_Rd(ps.get(), 1, idx, text), 0) << idx;
    for (int code : {-1, 17, 1000}) EXPECT_NE(srvTav_Para_Skubun_No_Rd(ps.get(), code, 0, &n), 0) << code;
    for (int kind : {-1, 3}) {
        EXPECT_NE(srvTav_Para_Rd("file.k7p", kind, ps.get()), 0) << kind;
        EXPECT_NE(srvTav_ParaIni_Rd(0, kind, ps.get()), 0) << kind;
    }
    EXPECT_EQ(std::memcmp(ps.get(), psCopy.get(), sizeof(ParaSet)), 0);

    auto iti = std::make_unique<ItiDatSet>();
    ASSERT_EQ(srvTav_ItiDatFil_Create(0, iti.get()), 0);
    const ItiDatSet itiCopy = *iti;
    ItiDatPoint point{};
    for (int no : {-1, 0, 100, 100000}) {
        SCOPED_TRACE(no);
        EXPECT_NE(srvTav_ItiDat_Rd(iti.get(), no, &point), 0);
        EXPECT_NE(srvTav_ItiDat_Init(iti.get(), no), 0);
        EXPECT_NE(srvTav_ItiDat_Chg(iti.get(), no, 0, 0, 0, 0, 0, 0, 0, 0), 0);
        EXPECT_NE(srvTav_ItiDat_Insert(iti.get(), no, 0, 0, 0, 0, 0, 0, 0, 0), 0);
    }
    EXPECT_EQ(std::memcmp(iti.get(), &itiCopy, sizeof itiCopy), 0);

    auto vv = std::make_unique<ItiVvDatSet>();
    ASSERT_EQ(srvTav_ItiVvDatFil_Create(0, vv.get()), 0);
    const ItiVvDatSet vvCopy = *vv;
    ItiVvDatPoint vpoint{};
    for (int no : {-1, 0, 16, 100000}) {
        SCOPED_TRACE(no);
        EXPECT_NE(srvTav_ItiVvDat_Rd(vv.get(), no, &vpoint), 0);
        EXPECT_NE(srvTav_ItiVvDat_Init(vv.get(), no), 0);
        EXPECT_NE(srvTav_ItiVvDat_Delete(vv.get(), no), 0);
        EXPECT_NE(srvTav_ItiVvDat_Chg(vv.get(), no, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), 0);
    }
    EXPECT_EQ(std::memcmp(vv.get(), &vvCopy, sizeof vvCopy), 0);
}

// Stations and entries out of range: a code, servo.con untouched, no line left open.
TEST_F(Robustness, OutOfRangeStationsAndEntries) {
    const std::string con = home.read("servo.con");
    int count = 0, station = 0, flag = 0;
    char name[500] = {};
    for (int entry : {-1, 0, 51, 100000}) {
        SCOPED_TRACE(entry);
        EXPECT_NE(srvTav_AmpData_Rd(entry, 0, &count, &station, name, &flag), 0);
        EXPECT_NE(srvTav_AmpData_Wt(entry, 5, "x"), 0);
        EXPECT_NE(srvTav_SiteiAmpKyoku_Rd(entry, &station), 0);
    }
    EXPECT_EQ(home.read("servo.con"), con);
    AmpIdentification id{};
    unsigned char status[2] = {};
    int ready = 0;
    ItiNoDatInfo info{};
    PositioningRunStatus run{};
    for (int st : {-1, 249, 100000}) {
        SCOPED_TRACE(st);
        EXPECT_NE(srvTav_SysCondition_Rd(st, &id), 0);
        ASSERT_EQ(srvTav_Wyn_Net_Open(), 0);
        EXPECT_NE(srvTav_Status_Rd(st, status, &ready), 0);
        EXPECT_NE(srvTav_ItiNoDat_Rd(st, 1, &info), 0);
        EXPECT_NE(srvTav_ItiDatRunStatus_Rd(st, &run), 0);
        EXPECT_NE(srvTav_ManuPluse_Snd(st, 1, status), 0);
        settle();
    }
    for (const char* text : {"0", "-1", "51", "999999999999", "abc"}) {
        SCOPED_TRACE(text);
        auto np = std::make_unique<NewParaSet>();
        EXPECT_NE(srvTav_NewPara_ComRd(nullptr, text, 0, np.get(), 0, 0), 0);
        EXPECT_EQ(Wyn_Net_Close(), 5);
    }
    char out[8] = {};
    for (int size : {-5, 0, 1}) EXPECT_EQ(srvTav_ErrString_Get(-27, size, size > 0 ? out : nullptr), 0);
}

// Found by fuzzing (clang UBSan): the extended-parameter reader stored its
// doubles and words through pointers into the packed set, which are not
// aligned. A set placed at an odd address is read without any such access.
TEST_F(Robustness, ExtendedParametersLoadIntoASetAtAnOddAddress) {
    std::vector<unsigned char> buffer(sizeof(NewParaSet) + 1);
    auto* set = reinterpret_cast<NewParaSet*>(buffer.data() + 1);
    ASSERT_EQ(srvTav_NewParaIni_Rd(0, 0, 0, set), 0);
    ASSERT_GT(int{set->nParaCount}, 0);  // a copy: the set is packed
    ASSERT_EQ(srvTav_NewPara_Wt((home.path() + "/odd.k7p").c_str(), set), 0);
    ASSERT_EQ(srvTav_NewPara_Rd((home.path() + "/odd.k7p").c_str(), 0, set), 0);
    int lines = 0;
    char info[2200];
    EXPECT_EQ(srvTav_NewPara_Ctl_Inf_Rd(set, 1, &lines, info), 0);
}

// Every exported function with a pointer argument has its rows above, so a
// new export is covered from the day it appears in the header.
TEST(RobustnessTable, CoversEveryDeclarationWithAPointer) {
    std::ifstream in(std::string(TAV_SOURCE_DIR) + "/include/Tav_acs.h");
    std::stringstream ss;
    ss << in.rdbuf();
    std::string header = ss.str();
    for (std::size_t a; (a = header.find("/*")) != std::string::npos;)
        header.erase(a, header.find("*/", a) + 2 - a);
    std::set<std::string> rows;
    for (const NullCall& c : kNullCalls) rows.insert(c.function);
    std::vector<std::string> missing;
    for (std::size_t at = 0; (at = header.find("TAV_API ", at)) != std::string::npos; ++at) {
        const std::size_t open = header.find('(', at), end = header.find(';', at);
        if (open == std::string::npos || end == std::string::npos || open > end) continue;
        std::size_t nameEnd = open;
        while (nameEnd > at && header[nameEnd - 1] == ' ') --nameEnd;
        std::size_t nameStart = nameEnd;
        while (nameStart > at && (std::isalnum(static_cast<unsigned char>(header[nameStart - 1])) ||
                                  header[nameStart - 1] == '_'))
            --nameStart;
        const std::string name = header.substr(nameStart, nameEnd - nameStart);
        const std::string params = header.substr(open, end - open);
        if (params.find('*') == std::string::npos && params.find("HWND") == std::string::npos) continue;
        if (name.rfind("__", 0) == 0) continue;  // the #define of TAV_API itself
        if (!rows.count(name) && !kNotCalled.count(name)) missing.push_back(name);
    }
    EXPECT_TRUE(missing.empty()) << "no null-argument rows for " << ::testing::PrintToString(missing);
}

}  // namespace
