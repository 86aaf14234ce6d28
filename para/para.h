// The servo operator's standard parameters: definitions and working set,
// parameter file, transfer with the device, listing and CSV export. Each
// function is the body of the export of the same name.
#pragma once

#include <cstddef>
#include <cstdio>

#include "Tav_acs.h"
#include "frame/result.h"

namespace tav::para {

constexpr int kParaCount = 40;      // every definition load uses 40 slots
constexpr int kGroupCount = 10;
constexpr int kSlots = 99;
constexpr int kNoCode = 100;        // identification code number of "no code"

// Identification code numbers.
enum Code : int {
    kKK = 0, kTT = 1, kC1 = 2, kC2 = 3, kO1 = 4, kO2 = 5, kSS = 6, kAA = 7, kBB = 8,
    kDD = 9, kNN = 10, kC0 = 12, kO0 = 14, kZZ = 15, kFF = 16
};

// ------------------------------------------------------------ definitions
short ParaIni_Rd(int n, int kind, ParaSet* set);
short Para_Dat_Rd(ParaSet* set, int no, ParaRecord* out);
Result Para_Dat_Chg(ParaSet* set, int no, double value);
Result Para_Dat_Init(ParaSet* set, int no);
short Para_SubTile_Rd(ParaSet* set, int no, char* out);
short Para_ValueString_Rd(ParaSet* set, int no, int idx, char* out);
short StdSyp_GrpNmae_Rd(ParaSet* set, int grp, char* out);
short Para_Skubun_No_Rd(ParaSet* set, int codeNo, int dir, int* no);
short Para_No_Skubun_Rd(ParaSet* set, int no, int* codeNo);

// Shared by the other units.
int code_number(const ParaRecord& r);
// The range check of a value change: 0 or -15 (magnitude compared for "ZZ").
short range_check(const ParaRecord& r, double value);
// Clears the set and fills the header defaults of a fresh definition load.
void clear_set(ParaSet* set);
// Reads up to 40 definition lines into the set. fileMode adds the "*" name
// rule, nResult = 0, progress counting and the cancel poll (-31).
Result read_definition_lines(FILE* f, ParaSet* set, bool fileMode);
// "*" before the name when attribute bit 0 is set and bit 3 clear.
void mark_name(ParaRecord& r);
// Reads one line of at most limit-1 bytes into buf; the rest of a longer line
// is skipped so that it never turns into a line of its own. False at the end.
bool read_line(FILE* f, char* buf, std::size_t limit);
// Copies at most n bytes without cutting a double-byte character in two.
void copy_cut(char* dst, std::size_t dstSize, const char* src, std::size_t n);

// ------------------------------------------------------------ parameter file
Result Para_Rd(const char* file, int kind, ParaSet* set);
Result Para_Wt(const char* file, ParaSet* set);
Result Para_Create(int model, int kind, ParaSet* set);
Result Para_FileName_Chg(ParaSet* set, const char* name);
short Para_FileCmt_Rd(ParaSet* set, char* out);
Result Para_FileCmt_Wt(ParaSet* set, const char* text);
short Para_Property_Rd(ParaSet* set, ParaProperty* out);
Result Para_Property_Wt(ParaSet* set, const ParaProperty* in);

// ------------------------------------------------------------ transfer
short Para_ComRd(const char* file, const char* station, int kind, ParaSet* set);
short Para_ComWt(const char* file, const char* station, int reserved, int sendAll, ParaSet* set);
short Para_Amp_Rd(const char* station, ParaSet* set);
short Para_Amp_Wt(const char* station, int sendAll, ParaSet* set);
short Para_Syousuh_Chg(ParaSet* set, int changed, int withTexts, int reserved);

// ------------------------------------------------------------ listing
short ParaPrint_Mak(ParaSet* set, ParaPrint* out);
// The page image in CSV mode (CSV header and line format, line ends).
short ParaPrint_Mak(ParaSet* set, ParaPrint* out, bool csv);
Result ParaCsvType_Wt(const char* file, ParaSet* set);
short Para_Ctl_Inf_Rd(ParaSet* set, int item, char* out, std::size_t size);
short ParaTitle_Rd(ParaSet* set, char* drive, char* dir, char* name, char* spare1, char* spare2, char* title);

}  // namespace tav::para
