// Extended parameters: the functions other parts of the library call (the
// positioning transfers find the decimal-position parameter through them).
#pragma once

#include "Tav_acs.h"

namespace tav::newpara {

// An empty set (definition values only) for a model number and kind.
short NewPara_Create(int model, int kind, NewParaSet* set);
// The number of the parameter that carries identification code number codeNo.
short NewPara_Skubun_No_Rd(NewParaSet* set, int codeNo, int dir, int* no);
// A copy of parameter no (1-based).
short NewPara_Dat_Rd(NewParaSet* set, int no, NewParaRecord* out);

}  // namespace tav::newpara
