// Extended parameters: the functions other parts of the library call (the
// positioning transfers find the decimal-point parameters through one call).
#pragma once

#include <string>

#include "Tav_acs.h"
#include "frame/result.h"

namespace tav::newpara {

// An empty set (definition values only) for a model number and kind.
Result NewPara_Create(int model, int kind, NewParaSet* set);
// The number of the parameter that carries identification code number codeNo.
short NewPara_Skubun_No_Rd(NewParaSet* set, int codeNo, int dir, int* no);
// A copy of parameter no (1-based).
short NewPara_Dat_Rd(NewParaSet* set, int no, NewParaRecord* out);
// The parameter numbers of the two decimal-point settings ("SS", "S2") of the
// positioning tables and the family of the definitions they came from; 0, or
// 1 when the definitions do not tell them.
short decimal_point_params(int* stopPosParam, int* stopTimeParam, unsigned* family);

// ------------------------------------------------------------ definitions
constexpr int kParaCount = 297;
constexpr int kPageSize = 99;
constexpr int kFamilyKesta7 = 0x30;
constexpr int kFamilyMini = 0x40;
constexpr int kNoCode = 100;

enum Code : int {
    kKK = 0, kTT = 1, kC1 = 2, kC2 = 3, kO1 = 4, kO2 = 5, kSS = 6, kAA = 7, kBB = 8, kDD = 9,
    kNN = 10, kC0 = 12, kO0 = 14, kZZ = 15, kFF = 16, kOP = 17, kZO = 18, kHK = 19, kS2 = 20,
    kIP = 21, kSC = 22
};

// The code number of an identification code text (kNoCode when none).
int code_number(const char* idCode);
// The two-letter text of a code number, null for an unused number.
const char* code_text(int codeNo);
// Definition file numbers of the two families.
int definition_id(int family, int model, int interfaceCode, int kind);

// Header values a definition load sets besides the defaults.
struct LoadOptions {
    int kind = 0;
    int model = 0;
    int interfaceCode = 0;
    int family = kFamilyKesta7;
    bool countProgress = false;  // file load: each line advances nProgressDone, -31 polled
};
// Clears the set, applies the defaults and reads the definition file at path.
// 0, -3 (file cannot be opened, set untouched) or -31.
Result load_definition_file(const char* path, const LoadOptions& opt, NewParaSet* set);
// The same after resolving the definition id through the path service.
Result load_definition(int id, const LoadOptions& opt, NewParaSet* set);

short NewParaIni_Rd(int model, int interfaceCode, int kind, NewParaSet* set);
short NewParaIni_Rd2(int model, int interfaceCode, int kind, NewParaSet* set);
short NewParaTitle_Rd(NewParaSet* set, char* drive, char* dir, char* name, char* out4, char* out5, char* title);
short NewPara_SubTile_Rd(NewParaSet* set, int no, char* out);
short NewPara_ValueString_Rd(NewParaSet* set, int no, int idx, char* out);
short NewPara_No_Skubun_Rd(NewParaSet* set, int no, int* codeNo);
Result NewPara_Dat_Chg(NewParaSet* set, int no, double value);
Result NewPara_Dat_Init(NewParaSet* set, int no);
// Base name of a path: after the last '\\', '/' or ':', cut at the first '.'.
std::string base_name(const char* path, bool cutExtension);
// Page title text of a kind (10005, 10006, 10036).
std::string page_title(int kind);

// ----------------------------------------------------------- reconciliation
short NewPara_Syousuh_Chg(NewParaSet* set, int rescaleValues, int rebuildTexts, int markChanged, int applyMotor);
// Fills out (size bytes) from the item comment used as a format with one text
// argument; false, out untouched, when its conversions are not exactly one
// string conversion (plus literal %%).
bool format_with_one_text(const char* format, const char* arg, char* out, std::size_t size);

// --------------------------------------------------------------------- file
Result NewPara_Rd(const char* path, int kind, NewParaSet* set);
Result NewPara_Wt(const char* path, NewParaSet* set);
Result NewPara_FileName_Chg(NewParaSet* set, const char* name);
short NewPara_FileCmt_Rd(NewParaSet* set, char* out);
Result NewPara_FileCmt_Wt(NewParaSet* set, const char* text);
short NewPara_Property_Rd(NewParaSet* set, NewParaProperty* out);
Result NewPara_Property_Wt(NewParaSet* set, const NewParaProperty* prop);
constexpr std::size_t kInfoLineSize = 2200;
short NewPara_Ctl_Inf_Rd(NewParaSet* set, int item, int* lines, char* out);
// The value formatter of files and listings: width 10 with the attribute;
// fallback "%10.2f" when the formatter refuses. out: 64 bytes.
short format_value(double value, unsigned attr, char* out, bool fallback = true);

// ----------------------------------------------------------------- transfer
short NewPara_ComRd(const char* path, const char* stationText, int kind, NewParaSet* set, int first, int last);
short NewPara_ComWt(const char* path, const char* stationText, int reserved, int all, NewParaSet* set);
short NewPara_ComInitWt(NewParaSet* set);
short NewPara_Amp_Rd(const char* stationText, NewParaSet* set, int first, int last);
short NewPara_Amp_Wt(const char* stationText, int all, NewParaSet* set);
short NewPara_Amp_Ini_Wt(const char* stationText, int reserved, NewParaSet* set);

// ------------------------------------------------------------------ listing
short NewParaPrint_Mak(NewParaSet* set, NewParaPrint* out);
Result NewParaCsvType_Wt(const char* path, NewParaSet* set);

// A double as a whole number, cut toward zero and clamped to the long long range
// (NaN gives 0), so that no conversion of a file value is undefined.
long long truncated(double v);

}  // namespace tav::newpara
