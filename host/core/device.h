// What a front end does with the target amplifier, the same from the terminal
// and from the browser: transfers of the sets with progress and cancel (the
// selection borrowed where the library works on the selected entry), the
// extended-parameter comparison, and the single exchanges of a test run
// (online/offline, run on/off, start/cancel, status). Each opens the line for
// its call and closes it again.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "host/core/outcome.h"
#include "host/core/target.h"
#include "host/core/transfer.h"

namespace tavhost::core {

// One transfer with the target: `step` names it in a failure; with
// borrowSelection the target's entry is selected for the call only.
Outcome transfer_on(const Target& t, void* cancel, ProgressView* view, Msg step, bool borrowSelection,
                    const std::function<int()>& op);

// ---- extended parameters
// "1_05": page and number within the page, as the amplifier's panel shows it.
std::string panel_no(int no);
// A value as the amplifier's attribute shows it: decimals, or hexadecimal "H".
std::string ext_value_text(double value, unsigned attr);
Outcome read_ext(NewParaSet* set, const Target& t, int kind, ProgressView* view);
// Every value to be sent (the changed ones, or all) through the check of a change.
Outcome check_ext_before_write(NewParaSet* set, bool all);
Outcome write_ext(NewParaSet* set, const Target& t, bool all, ProgressView* view);

struct ExtDifference {
    int no = 0;
    std::string name;  // UTF-8
    std::string reference, amplifier;  // as the attribute shows them; "-" when absent
};
// The parameters whose shown value differs between a reference set and one read from the amplifier.
std::vector<ExtDifference> ext_differences(NewParaSet* ref, NewParaSet* amp);

// The listing of a set: its information lines, the comment, the header and a
// line per parameter (UTF-8); the library's code when it cannot be made.
int ext_listing(NewParaSet* set, std::vector<std::string>& lines);

// ---- the servo operator's standard parameters (the operator target of open_operator_target)
std::string para_value_text(double value, unsigned attr);
Outcome read_para(ParaSet* set, const Target& t, int kind, ProgressView* view);
Outcome check_para_before_write(ParaSet* set, bool all);
Outcome write_para(ParaSet* set, const Target& t, bool all, ProgressView* view);  // checked first

// ---- positioning and VV tables (the library works on the selected entry)
Outcome read_pos(ItiDatSet* set, const Target& t, ProgressView* view);
Outcome write_pos(ItiDatSet* set, const Target& t, bool all, ProgressView* view);
Outcome check_vv_points(ItiVvDatSet* set);
Outcome read_vv(ItiVvDatSet* set, const Target& t, ProgressView* view);
Outcome write_vv(ItiVvDatSet* set, const Target& t, ProgressView* view);  // checked first

// ---- a test run
Outcome switch_online(const Target& t, bool online);
// status: STR1 and STR2 after the exchange.
Outcome run_on_off(const Target& t, bool on, int speed, unsigned char status[2]);
// start (number 1..99) or cancel (start false) a positioning run; ready: the
// amplifier was ready to start; run: the run status right after a start.
Outcome place_run(const Target& t, bool start, int number, unsigned char status[2], int& ready, PositioningRunStatus* run);
Outcome read_run_status(const Target& t, unsigned char status[2], PositioningRunStatus& run);

}  // namespace tavhost::core
