// Checked edits: every value a user sets is checked against its record's
// range and against what the amplifier's field can carry before it is
// stored; a refusal names the parameter or point, the value and the range,
// and leaves the set untouched.
#pragma once

#include <string>

#include "Tav_acs.h"
#include "host/core/outcome.h"

namespace tavhost::core {

// Extended parameters (10-digit fields, decimal places from the attribute).
int ext_places(unsigned attr);  // 0 for a hexadecimal value
Outcome check_ext_value(NewParaSet* set, int no, double value);
Outcome change_ext(NewParaSet* set, int no, double value);

// Standard parameters of the servo operator.
int para_places(unsigned attr);
Outcome check_para_value(ParaSet* set, int no, double value);
Outcome change_para(ParaSet* set, int no, double value);

// The values of one positioning or VV point as a user gives them (accel and
// decel only in a VV table).
struct PointValues {
    int cmdMode = 0, stepMode = 0;
    double stopPos = 0, speed = 0, accel = 0, decel = 0, stopTimer = 0;
    int mCode = 0, mValid = 0, mTiming = 0;
};

// stopPosDp / stopTimeDp: the table's decimal settings; vv: accel and decel checked too.
Outcome check_point(int no, const PointValues& v, unsigned stopPosDp, unsigned stopTimeDp, bool vv);
Outcome change_point(ItiDatSet* set, int no, const PointValues& v, bool insert);
Outcome change_vv_point(ItiVvDatSet* set, int no, const PointValues& v, bool insert);

// Model numbers of the create commands: a name (VEL, ROR, LIN, ETC, LIN_KB,
// VEL_KB) or its number 0..5; -1 for anything else.
int model_number(const std::string& text);

}  // namespace tavhost::core
