// Editing a VV table in memory. The rules are those of the positioning table;
// the two times travel with their point, and a VV table can also lose a point.

#include "frame/frame.h"
#include "itivv/itivv.h"
#include "platform/platform.h"

namespace tav::itivv {

Result Dat_Init(ItiVvDatSet* set, int no) { return iti::Dat_Init(set, no); }

Result Dat_Chg(ItiVvDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed, double accelTime,
              double decelTime, double stopTimer, int mCode, int mValid, int mTiming) {
    frame::CheckDiagnosticMarkers();
    if (!iti::valid_point_no(set, no)) return TAV_E_PARAMETER;
    ItiVvDatPoint& p = set->point[no - 1];
    p.nCmdMode = cmdMode;
    p.nStepMode = stepMode;
    p.dStopPos = stopPos;
    p.dSpeed = speed;
    p.dAccelTime = accelTime;
    p.dDecelTime = decelTime;
    p.dStopTimer = stopTimer;
    p.nMCode = mCode;
    p.nMValid = mValid;
    p.nMTiming = mTiming;
    p.nChgFlag = 1;
    return TAV_OK;
}

Result Dat_Insert(ItiVvDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed,
                 double accelTime, double decelTime, double stopTimer, int mCode, int mValid, int mTiming) {
    if (!iti::valid_point_no(set, no)) return TAV_E_PARAMETER;
    iti::open_gap(set, no);
    return Dat_Chg(set, no, cmdMode, stepMode, stopPos, speed, accelTime, decelTime, stopTimer, mCode, mValid,
                   mTiming);
}

Result Dat_Delete(ItiVvDatSet* set, int no) {
    if (!iti::valid_point_no(set, no)) return TAV_E_PARAMETER;
    const int n = point_count(set);
    // Close the gap towards the front; the flag is marked before the values move.
    for (int i = no; i < n; ++i) {
        ItiVvDatPoint& to = set->point[i - 1];
        if (to.nChgFlag == 0) to.nChgFlag = 2;
        iti::copy_values(to, set->point[i]);
    }
    const short code = Dat_Init(set, n);
    set->point[n - 1].nChgFlag = 2;
    return code;
}

short Dat_Rd(ItiVvDatSet* set, int no, ItiVvDatPoint* out) { return iti::Dat_Rd(set, no, out); }

// The decimal moves are the positioning table's, over the VV point layout.
Result Att_Chg(ItiVvDatSet* set, unsigned short dp) { return iti::Att_Chg(set, dp); }

Result Att_Chg2(ItiVvDatSet* set, unsigned short code) { return iti::Att_Chg2(set, code); }

short Att_Rd(ItiVvDatSet* set, unsigned short* dp) {
    *dp = set->wStopPosDp;
    return TAV_OK;
}

short Title_Rd(ItiVvDatSet* set, char* drive, char* dir, char* baseName, char* out4, char* out5, char* title) {
    // The title comes from the file name alone, as for the positioning table.
    ItiDatSet view;
    header_view(*set, &view);
    return iti::Title_Rd(&view, drive, dir, baseName, out4, out5, title);
}

Result FileName_Chg(ItiVvDatSet* set, const char* name) { return iti::FileName_Chg(set, name); }

short FileCmt_Rd(ItiVvDatSet* set, char* out) { return iti::FileCmt_Rd(set, out); }

Result FileCmt_Wt(ItiVvDatSet* set, const char* text) { return iti::FileCmt_Wt(set, text); }

}  // namespace tav::itivv
