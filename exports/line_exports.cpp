// C entries of the line settings, the station list, line opening and locks,
// and the model names: argument checks, then tav::line through the guard.
#include "Tav_acs.h"
#include "exports/guard.h"
#include "line/line.h"

using tav::exports::guarded;

extern "C" {

// ------------------------------------------------------------ line settings
TAV_API short srvTav_Set_Rd(LineSettings* out) {
    if (out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::Set_Rd(out); });
}

TAV_API short srvTav_SetWyn_Wt(const LineSettings* in) {
    if (in == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::SetWyn_Wt(in); });
}

TAV_API short srvTav_SetKisyu_Wt(int model) {
    return guarded([&] { return tav::line::SetKisyu_Wt(model); });
}

TAV_API short srvTav_SetKisyu_Wt2(int model, int value1, int value2, int value3) {
    return guarded([&] { return tav::line::SetKisyu_Wt2(model, value1, value2, value3); });
}

TAV_API short srvTav_Set_Copy(const char* source) {
    return guarded([&] { return tav::line::Set_Copy(source); });
}

TAV_API short srvTav_Port_Set(void* port) {
    return guarded([&] { return tav::line::Port_Set(port); });
}

// ------------------------------------------------------------ station list
TAV_API short srvTav_Amp_Rd(char* selected) {
    if (selected == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::Amp_Rd(selected); });
}

TAV_API short srvTav_Amp_Wt(const char* selected) {
    if (selected == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::Amp_Wt(selected); });
}

// Null out-arguments are skipped.
TAV_API short srvTav_AmpData_Rd(int entry, int refresh, int* count, int* station, char* name, int* flag) {
    return guarded([&] { return tav::line::AmpData_Rd(entry, refresh, count, station, name, flag); });
}

// A null name keeps the entry's name.
TAV_API short srvTav_AmpData_Wt(int entry, int station, const char* name) {
    return guarded([&] { return tav::line::AmpData_Wt(entry, station, name); });
}

TAV_API short srvTav_Yukou_AmpData_Rd(int* count, int* entry, int* station, char* name, int* flag) {
    return guarded([&] { return tav::line::Yukou_AmpData_Rd(count, entry, station, name, flag); });
}

TAV_API short srvTav_TargetAmpKyoku_Rd(int* station) {
    if (station == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::TargetAmpKyoku_Rd(station); });
}

TAV_API short srvTav_SiteiAmpKyoku_Rd(int entry, int* station) {
    if (station == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::SiteiAmpKyoku_Rd(entry, station); });
}

// ------------------------------------------------------------ line and locks
TAV_API short srvTav_Wyn_Net_Open(void) {
    return guarded([] { return tav::line::Wyn_Net_Open(); });
}

// Kept for hosts that ask for the quick open: the line opens the same way.
TAV_API short srvTav_Wyn_Net_Open_Fast(void) {
    return guarded([] { return tav::line::Wyn_Net_Open(); });
}

// The port is locked by the communication component; these entries stay for
// hosts that still call them and take no lock.
TAV_API short srvTav_ComPortLock(const void*, ...) { return TAV_OK; }
TAV_API short srvTav_ComPortUnlock(void) { return 1; }

TAV_API short srvTav_ComPortLock_quimbel(int* kind) {
    return guarded([&] { return tav::line::ComPortLock_quimbel(kind); });
}

TAV_API short srvTav_ComPortUnlock_quimbel(const void*, ...) { return TAV_OK; }

TAV_API short srvTav_ComPortLockUnlockCheck(int* port) {
    return guarded([&] { return tav::line::ComPortLockUnlockCheck(port); });
}

TAV_API short srvTav_TraceLock(int mode) {
    return guarded([&] { return tav::line::TraceLock(mode); });
}

TAV_API short srvTav_TraceUnlock(int mode) {
    return guarded([&] { return tav::line::TraceUnlock(mode); });
}

TAV_API short srvTav_TraceLockUnlockCheck(int* state) {
    return guarded([&] { return tav::line::TraceLockUnlockCheck(state); });
}

TAV_API short srvTav_File_Copy(const char* source, const char* destination) {
    if (source == nullptr || destination == nullptr) return TAV_E_NO_FILE;
    return guarded([&] { return tav::line::File_Copy(source, destination); });
}

TAV_API short srvTav_SupLnk_Init(SupportLinkRecord* record) {
    if (record == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::SupLnk_Init(record); });
}

TAV_API short srvTav_SupLnk_Open(const char* file, SupportLinkRecord* record) {
    if (file == nullptr || record == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::SupLnk_Open(file, record); });
}

TAV_API short srvTav_SupLnk_Close(const char* file, int kind, SupportLinkRecord* record) {
    if (record == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::SupLnk_Close(file, kind, record); });
}

TAV_API void w1_test(void) {
    try {
        tav::line::w1_test();
    } catch (...) {
        // Nothing may reach the C caller; the loop has no result to give.
    }
}

// ------------------------------------------------------------ model names
TAV_API short srvGet_NameFromModelNumber(unsigned int number, char* name) {
    if (name == nullptr) return TAV_E_PARAMETER;
    return tav::line::NameFromModelNumber(number, name);
}

TAV_API short srvGet_ModelNumberFromName(const char* name) {
    if (name == nullptr) return TAV_E_PARAMETER;
    return tav::line::ModelNumberFromName(name);
}

TAV_API short srvGet_AmpModelNumber(unsigned int number, unsigned int* base, unsigned int* bus) {
    if (base == nullptr || bus == nullptr) return TAV_E_PARAMETER;
    return tav::line::AmpModelNumber(number, base, bus);
}

TAV_API int srvGet_ModelNumberFromAmp(int value) { return value; }

TAV_API char* GetAmpNameFromFile(void) { return tav::line::amp_name_from_file(); }
TAV_API void SetAmpNameForFile(const char* name) { tav::line::set_amp_name_for_file(name); }
TAV_API char* GetAmpNameForFile(void) { return tav::line::amp_name_for_file(); }
TAV_API void SetAmpNameFromFileSel(unsigned int value) { tav::line::set_amp_name_from_file_sel(value); }
TAV_API unsigned int GetAmpNameFromFileSel(void) { return tav::line::amp_name_from_file_sel(); }

}  // extern "C"
