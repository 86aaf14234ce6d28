#include "host/core/device.h"

#include <cstdio>
#include <memory>

#include "host/core/definitions.h"
#include "host/core/edits.h"
#include "wynapi/wynapi.h"

namespace tavhost::core {

namespace {

std::string trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The fixed-width text of the value formatter without its leading zeros:
// "000000008.0" -> "8.0", "-0000012" -> "-12", "0000000000" -> "0".
std::string without_leading_zeros(const std::string& text) {
    const std::string t = trim(text);
    const bool negative = !t.empty() && t[0] == '-';
    std::size_t first = !t.empty() && (t[0] == '-' || t[0] == '+') ? 1 : 0;
    while (first + 1 < t.size() && t[first] == '0' && t[first + 1] != '.') ++first;
    return (negative ? "-" : "") + t.substr(first);
}

Outcome step_result(int code, Msg step) { return code == 0 ? success() : failure(code, step); }

// The line opened for one exchange with the target's station, closed after it.
Outcome on_line(Msg step, const std::function<int()>& exchange) {
    if (const int rc = srvTav_Wyn_Net_Open(); rc != 0) return failure(rc, Msg::StepLineOpen, {line_device()});
    const int rc = exchange();
    Wyn_Net_Close();
    return step_result(rc, step);
}

}  // namespace

Outcome transfer_on(const Target& t, void* cancel, ProgressView* view, Msg step, bool borrowSelection,
                    const std::function<int()>& op) {
    SelectionGuard selection;
    if (borrowSelection)
        if (Outcome r = selection.select(t); !r.ok()) return r;
    const int code = run_transfer(cancel, view, op);
    if (Outcome r = selection.restore(); !r.ok()) return r;
    return step_result(code, step);
}

std::string panel_no(int no) {
    char text[16];
    std::snprintf(text, sizeof text, "%d_%02d", (no - 1) / 99 + 1, (no - 1) % 99 + 1);
    return text;
}

std::string ext_value_text(double value, unsigned attr) {
    char text[64] = "";
    if ((attr & 0x0002) != 0) {
        std::snprintf(text, sizeof text, "%lXH", static_cast<unsigned long>(static_cast<long>(value)));
        return text;
    }
    if (srvTav_Double_to_Char(value, static_cast<int>(attr), 10, text) != 0)
        std::snprintf(text, sizeof text, "%.2f", value);
    return without_leading_zeros(text);
}

Outcome read_ext(NewParaSet* set, const Target& t, int kind, ProgressView* view) {
    const std::string entry = std::to_string(t.entry);
    return transfer_on(t, cancel_field(set), view, Msg::StepRead, false,
                       [&] { return srvTav_NewPara_ComRd(nullptr, entry.c_str(), kind, set, 0, 0); });
}

Outcome check_ext_before_write(NewParaSet* set, bool all) {
    NewParaRecord r;
    for (int no = 1; no <= set->nParaCount && no <= 297; ++no) {
        if (srvTav_NewPara_Dat_Rd(set, no, &r) != 0 || (!all && r.nChgFlag != 1)) continue;
        if (Outcome o = check_ext_value(set, no, r.dValue); !o.ok()) return o;
    }
    return success();
}

Outcome write_ext(NewParaSet* set, const Target& t, bool all, ProgressView* view) {
    if (Outcome o = check_ext_before_write(set, all); !o.ok()) return o;
    const std::string entry = std::to_string(t.entry);
    return transfer_on(t, cancel_field(set), view, Msg::StepWrite, false,
                       [&] { return srvTav_NewPara_ComWt(nullptr, entry.c_str(), 0, all ? 1 : 0, set); });
}

std::vector<ExtDifference> ext_differences(NewParaSet* ref, NewParaSet* amp) {
    std::vector<ExtDifference> rows;
    NewParaRecord a, b;
    const int count = ref->nParaCount > amp->nParaCount ? ref->nParaCount : amp->nParaCount;
    for (int no = 1; no <= count && no <= 297; ++no) {
        const bool inRef = srvTav_NewPara_Dat_Rd(ref, no, &a) == 0;
        const bool inAmp = srvTav_NewPara_Dat_Rd(amp, no, &b) == 0;
        if (!inRef && !inAmp) continue;
        const std::string left = inRef ? ext_value_text(a.dValue, a.wAttr) : "-";
        const std::string right = inAmp ? ext_value_text(b.dValue, inRef ? a.wAttr : b.wAttr) : "-";
        if (left != right) rows.push_back({no, utf8_of(inRef ? a.szName : b.szName), left, right});
    }
    return rows;
}

int ext_listing(NewParaSet* set, std::vector<std::string>& lines) {
    auto page = std::make_unique<NewParaPrint>();
    if (const int code = srvTav_NewParaPrint_Mak(set, page.get()); code != 0) return code;
    char line[2200];
    int count = 0;
    for (int item : {1, 2, 3, 4, 5, 8, 9, 11, 12}) {
        line[0] = '\0';
        if (srvTav_NewPara_Ctl_Inf_Rd(set, item, &count, line) == 0 && line[0] != '\0') lines.push_back(utf8_of(line));
    }
    lines.push_back(utf8_of(page->szCommentLine));
    lines.push_back(utf8_of(page->szHeader));
    for (int i = 0; i < page->nLines && i < 297; ++i) lines.push_back(utf8_of(page->szLine[i]));
    return 0;
}

std::string para_value_text(double value, unsigned attr) {
    char text[64] = "";
    if (srvTav_Double_to_Char(value, static_cast<int>(attr), 10, text) != 0) std::snprintf(text, sizeof text, "%.2f", value);
    return without_leading_zeros(text);
}

// The operator is addressed by its entry, or "0" when servo.set does not use the station list.
Outcome read_para(ParaSet* set, const Target& t, int kind, ProgressView* view) {
    const OperatorDefinitions definitions;
    if (!definitions.ok()) return definitions.outcome();
    const std::string station = std::to_string(t.entry);
    return transfer_on(t, cancel_field(set), view, Msg::StepRead, false,
                       [&] { return srvTav_Para_ComRd(nullptr, station.c_str(), kind, set); });
}

Outcome check_para_before_write(ParaSet* set, bool all) {
    ParaRecord r;
    for (int no = 1; no <= set->nParaCount && no <= 99; ++no) {
        if (srvTav_Para_Dat_Rd(set, no, &r) != 0 || (!all && r.nChgFlag != 1)) continue;
        if (Outcome o = check_para_value(set, no, r.dValue); !o.ok()) return o;
    }
    return success();
}

Outcome write_para(ParaSet* set, const Target& t, bool all, ProgressView* view) {
    if (Outcome o = check_para_before_write(set, all); !o.ok()) return o;
    const OperatorDefinitions definitions;
    if (!definitions.ok()) return definitions.outcome();
    const std::string station = std::to_string(t.entry);
    return transfer_on(t, cancel_field(set), view, Msg::StepWrite, false,
                       [&] { return srvTav_Para_ComWt(nullptr, station.c_str(), 0, all ? 1 : 0, set); });
}

Outcome read_pos(ItiDatSet* set, const Target& t, ProgressView* view) {
    const std::string entry = std::to_string(t.entry);
    return transfer_on(t, cancel_field(set), view, Msg::StepRead, true,
                       [&] { return srvTav_ItiDat_ComRd(nullptr, entry.c_str(), set); });
}

Outcome write_pos(ItiDatSet* set, const Target& t, bool all, ProgressView* view) {
    const std::string entry = std::to_string(t.entry);
    return transfer_on(t, cancel_field(set), view, Msg::StepWrite, true,
                       [&] { return srvTav_ItiDat_ComWt(nullptr, entry.c_str(), all ? 1 : 0, set); });
}

Outcome check_vv_points(ItiVvDatSet* set) {
    for (int no = 1; no <= set->nPointCount && no <= 15; ++no) {
        const ItiVvDatPoint& q = set->point[no - 1];
        PointValues p;
        p.cmdMode = q.nCmdMode;
        p.stepMode = q.nStepMode;
        p.stopPos = q.dStopPos;
        p.speed = q.dSpeed;
        p.accel = q.dAccelTime;
        p.decel = q.dDecelTime;
        p.stopTimer = q.dStopTimer;
        p.mCode = q.nMCode;
        p.mValid = q.nMValid;
        p.mTiming = q.nMTiming;
        if (Outcome o = check_point(no, p, set->wStopPosDp, set->wStopTimeDp, true); !o.ok()) return o;
    }
    return success();
}

Outcome read_vv(ItiVvDatSet* set, const Target& t, ProgressView* view) {
    const std::string entry = std::to_string(t.entry);
    return transfer_on(t, cancel_field(set), view, Msg::StepRead, true,
                       [&] { return srvTav_ItiVvDat_ComRd(nullptr, entry.c_str(), set); });
}

Outcome write_vv(ItiVvDatSet* set, const Target& t, ProgressView* view) {
    if (Outcome o = check_vv_points(set); !o.ok()) return o;
    const std::string entry = std::to_string(t.entry);
    return transfer_on(t, cancel_field(set), view, Msg::StepWrite, true,
                       [&] { return srvTav_ItiVvDat_ComWt(nullptr, entry.c_str(), 1, set); });
}

Outcome switch_online(const Target& t, bool online) {
    SelectionGuard selection;
    if (Outcome r = selection.select(t); !r.ok()) return r;
    unsigned char record[17] = {};
    const int rc = srvTav_Open_OffONline_Close(online ? 1 : 0, record);
    if (Outcome r = selection.restore(); !r.ok()) return r;
    return step_result(rc, online ? Msg::StepOnline : Msg::StepOffline);
}

Outcome run_on_off(const Target& t, bool on, int speed, unsigned char status[2]) {
    return on_line(on ? Msg::StepRunOn : Msg::StepRunOff,
                   [&] { return srvTav_RunOnOFF_ManuSpeedSel(t.station, on ? 1 : 0, speed, status); });
}

Outcome place_run(const Target& t, bool start, int number, unsigned char status[2], int& ready, PositioningRunStatus* run) {
    ready = 0;
    return on_line(start ? Msg::StepStart : Msg::StepCancel, [&] {
        const int rc = srvTav_PlaceRunOff(t.station, start ? number : 0, start ? 1 : 0, status, &ready);
        if (rc == 0 && start && ready != 0 && run != nullptr) srvTav_ItiDatRunStatus_Rd(t.station, run);
        return rc;
    });
}

Outcome read_run_status(const Target& t, unsigned char status[2], PositioningRunStatus& run) {
    return on_line(Msg::StepStatus, [&] {
        int ready = 0;
        const int rc = srvTav_Status_Rd(t.station, status, &ready);
        return rc != 0 ? rc : srvTav_ItiDatRunStatus_Rd(t.station, &run);
    });
}

}  // namespace tavhost::core
