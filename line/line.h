// Line, station list, locks, identification and test run: the functions the
// rest of the library calls. Each is the body of the export of the same name.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

#include "Tav_acs.h"
#include "frame/result.h"

namespace tav::line {

// Line settings file (servo.set).
Result Set_Rd(LineSettings* out);
short SetWyn_Wt(const LineSettings* in);
short SetKisyu_Wt(int model);
short SetKisyu_Wt2(int model, int value1, int value2, int value3);
short Set_Copy(const char* source);
short Port_Set(void* port);
// "9600", "38400", ...; "38400" for an index outside 0..6.
const char* baud_text(int baudIndex);

// Station list (servo.con).
short Amp_Rd(char* selected);
short Amp_Wt(const char* selected);
short AmpData_Rd(int entry, int refresh, int* count, int* station, char* name, int* flag);
short AmpData_Wt(int entry, int station, const char* name);
short Yukou_AmpData_Rd(int* count, int* entry, int* station, char* name, int* flag);
short TargetAmpKyoku_Rd(int* station);
short SiteiAmpKyoku_Rd(int entry, int* station);
// The station a list number addresses: 1..50 an entry (AmpData_Rd's codes);
// 0 the servo operator in front of the list, station 0, as long as servo.con
// reads as a station list (else -3, -5 or the path code).
short ListStation(int number, int* station);

// Line opening, locks, file kinds.
short Wyn_Net_Open();
short ComPortLock_quimbel(int* kind);
short ComPortUnlock_quimbel();
short ComPortLockUnlockCheck(int* port);
short TraceLock(int mode);
short TraceUnlock(int mode);
short TraceLockUnlockCheck(int* state);
// One transfer's hold on the line: the port lock and the opened line, both
// given back (line closed first) when the session ends, whatever the way out.
class PortSession {
public:
    PortSession() = default;
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;
    ~PortSession();
    // Takes the port lock; its result unchanged (-18 while a trace holds it).
    short lock();
    // Opens the line; 0 or -14.
    short open();
    // Closes the line now when it is open; the lock stays until the end.
    void close();
    // Both at once, as a transfer that identifies nothing first: 0, -18 or -14.
    short lock_and_open();

private:
    bool locked_ = false, open_ = false;
};
short File_Copy(const char* source, const char* destination);
// kind: 0 .k7p, 1 .syp, 2 .k7l, 3 .set, 4 .con, 5 .csv, 6 .hsp, 7 .k7v, 8 .m7p, 9 .m7v.
// text receives at most 500 bytes; hex may be null.
short File_Chk(const char* path, int* kind, int* model, int* number, char* text, unsigned* hex);
short SupLnk_Init(SupportLinkRecord* record);
short SupLnk_Open(const char* file, SupportLinkRecord* record);
short SupLnk_Close(const char* file, int kind, SupportLinkRecord* record);
// The lock test loop of the service tools; never returns.
[[noreturn]] void w1_test();
// Reads one whole line of a text-mode file, its line feed included when there
// is one; false at the end of the file. Long lines are never split.
bool read_whole_line(FILE* file, std::string& line);
// atoi as the files are written, but a value beyond int saturates instead of
// overflowing; text without digits gives 0.
int parse_int(const char* text);

// Model numbers and names.
short NameFromModelNumber(unsigned number, char* name);
short ModelNumberFromName(const char* name);
short AmpModelNumber(unsigned number, unsigned* base, unsigned* bus);

// Amplifier-name state shared by the data-file readers and writers.
constexpr std::size_t kAmpNameSize = 100;
// The name of the last file's "ampname=" line (kAmpNameSize bytes, writable).
char* amp_name_from_file();
// The name the host wants written into the next file (kAmpNameSize bytes).
char* amp_name_for_file();
void set_amp_name_for_file(const char* name);
unsigned amp_name_from_file_sel();
void set_amp_name_from_file_sel(unsigned value);

// Identification.
short SysCondition_Rd(int station, AmpIdentification* out);
short Open_SysCondition_Rd_Close(SysConditionRecord* record);
// Opens the line to the selected entry's station and reads its 17-byte record
// into record; opened tells the caller whether it must close the line.
short OpenTargetAndReadRecord(int* station, unsigned char* record, bool* opened);
short Motor_Info_Rd(unsigned char index, double* first, double* second, double* third);
// The motor name of an identification, composed from the motor bytes of the
// system-condition record: series (byte 9), motor voltage (10), motor
// capacity (11) and encoder (12). row gives the catalogue row of an id.
std::string MotorName(unsigned series, unsigned voltage, unsigned capacity, unsigned encoder,
                      const std::function<std::string(unsigned id)>& row);

// Test run and live status.
short Status_Rd(int station, unsigned char* status, int* ready);
short PlaceRunOff(int station, int number, int mode, unsigned char* status, int* ready);
short ManuPluse_Snd(int station, int direction, unsigned char* status);
short RunOnOFF_ManuSpeedSel(int station, int on, int speed, unsigned char* status);
short Open_OffONline_Close(int mode, unsigned char* record);
short ItiDatRunStatus_Rd(int station, PositioningRunStatus* out);

}  // namespace tav::line
