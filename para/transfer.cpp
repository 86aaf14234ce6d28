// Standard-parameter transfer with the servo operator: block reads of values
// and range tables, block writes with per-parameter retry, and the
// re-derivation of the limits and range texts.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "bcd/bcd.h"
#include "comm/comm.h"
#include "frame/frame.h"
#include "line/direct_access.h"
#include "line/line.h"
#include "para/para.h"
#include "platform/platform.h"
#include "sets/block_transfer.h"
#include "sets/sets.h"
#include "text/text.h"

namespace tav::para {

namespace {

constexpr int kReadBlock = 4;
constexpr int kField = 6;
// Table entry as the component delivers it: attribute high and low byte, then
// initial, maximum and minimum value as 10 BCD digits (5 bytes) each.
constexpr int kTableEntry = 17;
constexpr int kReplySize = 100;
constexpr int kRecordSize = 17;
constexpr unsigned char kOperatorFamily = 0x50;
constexpr int kNoAmplifier = 999;
constexpr int kNoStoreMarker = 1030;
constexpr unsigned char kRead = 0x50, kWrite = 0x51, kHiddenMemory = 0x24;
constexpr unsigned kUnusedText = 10010, kTildeText = 10016;
constexpr unsigned kSpeedText = 10037, kTorqueText = 10038, kInertiaText = 10042;

unsigned bcd_of(int number) {
    unsigned v = 0;
    bcd::int_to_Bcd(number, &v);
    return v;
}

void post_progress(const ParaSet* set) {
    if (set->nProgressTotal > 0)
        frame::SendProgressRate(static_cast<unsigned>(
            std::min(100LL, 100LL * std::max(0, int{set->nProgressDone}) / set->nProgressTotal)));
}

// The station text as the station list resolves it. With the list not in use
// (line 7 value 0) number 0 is looked up: the servo operator, station 0.
short resolve_station(const char* text, int* number) {
    LineSettings ls{};
    short code = line::Set_Rd(&ls);
    if (code != TAV_OK) return code;
    const int listNumber = ls.nLine7 != 0 ? line::parse_int(text != nullptr ? text : "") : 0;
    return line::ListStation(listNumber, number);
}

// Before the block transfers: the station resolved, the line settings
// readable, progress reported as 0.
short prepare_blocks(const char* station, int* number) {
    short code = resolve_station(station, number);
    if (code != TAV_OK) return code;
    LineSettings ls{};
    if ((code = line::Set_Rd(&ls)) != TAV_OK) return code;
    frame::SendProgressRate(0);
    return TAV_OK;
}

// Byte 3 of the identification record as the force markers want it.
void apply_forced_model(unsigned char* rec) {
    const frame::Switches& s = frame::switches();
    const char* marker = nullptr;
    if (s.forceVel) rec[3] = 0, marker = "TAVLOG.VEL";
    else if (s.forceRor) rec[3] = 1, marker = "TAVLOG.ROR";
    else if (s.forceLin) rec[3] = 2, marker = "TAVLOG.LIN";
    // "Standard parameter editing: model forced [%s]"
    if (marker != nullptr)
        frame::tracef("\x95\x57\x8f\x80\x83\x70\x83\x89\x83\x81\x81\x5b\x83\x5e\x95\xd2\x8f\x57\x81\x46"
                      "\x8b\x40\x8e\xed\x82\xf0\x8b\xad\x90\xa7\x95\xcf\x8d\x58[%s]",
                      marker);
}

// Attribute bit 1: the value field holds a plain 40-bit binary number.
bool is_unsigned(unsigned attr) { return (attr & 0x0002u) != 0; }

// The attribute the device reports with a table entry, high byte first.
unsigned table_attribute(const unsigned char* entry) { return (static_cast<unsigned>(entry[0]) << 8) | entry[1]; }

// `entry` is the parameter's table entry of the same block (kinds 0 and 1), or
// null. The device's own attribute decides the value's encoding: the write
// encodes with that attribute, so a read, edit and write can never turn a BCD
// field into a binary one or back when the definition disagrees with it.
void apply_value(ParaSet* set, ParaRecord& r, unsigned char* field, const unsigned char* entry) {
    if (field[0] & 0x08u) {
        r.dValue = 0;
        r.nResult = TAV_E_MEMORY_ERROR;
    } else {
        if (r.wAttr & 0x0010u) {
            field[0] &= 0x0Fu;
            r.wAttr = 0x0010u;
        }
        const unsigned encoding = entry != nullptr ? table_attribute(entry) : r.wAttr;
        double v = 0;
        const short code = bcd::Bcd_to_Double(field, is_unsigned(encoding) ? 16 : 10, &v);
        r.dValue = code == TAV_OK ? v : 0;
        r.nResult = code;
    }
    (void)set;
}

void apply_table(ParaRecord& r, const unsigned char* entry) {
    const unsigned nibble = entry[0] & 0x0Fu;
    r.wAttr = static_cast<uint16_t>(table_attribute(entry) & 0xFF9Fu);
    r.dScale = 10.0 / std::pow(10.0, static_cast<double>(nibble));
    double v[3] = {r.dInitial, r.dMax, r.dMin};
    for (int k = 0; k < 3; ++k) {
        unsigned char field[kField];
        field[0] = static_cast<unsigned char>((nibble & 0x07u) << 4);
        std::memcpy(field + 1, entry + 2 + 5 * k, 5);
        double d = 0;
        if (bcd::Bcd_to_Double(field, 10, &d) == TAV_OK) v[k] = d;
    }
    r.dInitial = (nibble & 0x08u) ? -v[0] : v[0];
    if (r.nResult != 0) r.dValue = r.dInitial;
    r.dMax = v[1];
    r.dMin = v[2];
    if (r.wAttr & 0x0004u) {
        r.dMin = -r.dMax;
        if (r.dMin >= 0) r.dMin = -r.dMin;
    }
}

// One read block of count parameters from slot `first` (0-based).
Result read_run(int station, ParaSet* set, int first, int count, bool store) {
    const unsigned start = bcd_of(first + 1);
    const comm::WynApi& w = comm::wyn();
    unsigned char values[kReplySize] = {};
    unsigned char table[kReplySize] = {};
    short code;
    if (set->nKind == 2) {
        code = comm::Wyn_General_Acs(static_cast<unsigned char>(station), kRead, static_cast<unsigned char>(count),
                                     kHiddenMemory, static_cast<unsigned char>(start), 0, 0, 0, nullptr,
                                     static_cast<unsigned short>(kField * count + 2), values);
        if (code == TAV_OK) code = comm::Wyn_STR_ERR_Chk(values);
    } else {
        const bool std = set->nKind == 0;
        code = (std ? w.Wyn_StdPara_Rd : w.Wyn_SysPara_Rd)(station, count, start, kReplySize, values);
        if (code == TAV_OK) code = (std ? w.Wyn_StdParaTbl_Rd : w.Wyn_SysParaTbl_Rd)(station, count, start,
                                                                                     kReplySize, table);
        if (code == TAV_OK) code = comm::Wyn_STR_ERR_Chk(values);
        if (code == TAV_OK) code = comm::Wyn_STR_ERR_Chk(table);
    }
    if (code != TAV_OK) return code;
    set->nProgressDone += count;
    post_progress(set);
    if (set->nCancel == TAV_E_CANCELLED) return TAV_E_CANCELLED;
    if (!store) return TAV_OK;
    for (int k = 0; k < count; ++k) {
        ParaRecord& r = set->para[first + k];
        const unsigned char* entry = set->nKind != 2 ? table + 2 + kTableEntry * k : nullptr;
        apply_value(set, r, values + 2 + kField * k, entry);
        if (entry != nullptr) apply_table(r, entry);
        mark_name(r);
    }
    return TAV_OK;
}

Result read_back(int station, int kind, int first) {
    const unsigned start = bcd_of(first + 1);
    unsigned char reply[kReplySize] = {};
    short code;
    if (kind == 2)
        code = comm::Wyn_General_Acs(static_cast<unsigned char>(station), kRead, 1, kHiddenMemory,
                                     static_cast<unsigned char>(start), 0, 0, 0, nullptr, kField + 2, reply);
    else
        code = comm::wyn().Wyn_SysPara_Rd(station, 1, start, kReplySize, reply);
    code = sets::reply_code(code, reply);
    return code == TAV_E_STR_REFUSED ? TAV_E_WRITE_PROTECTED : code;
}

// The standard parameters' block write: two values per exchange, every
// failed block (whatever failed) sent again parameter by parameter, progress
// posted once a block and its retries are done.
struct ParaBlocks : sets::BlockRules {
    static constexpr int kBlockSize = 2, itemSize = kField;
    static constexpr bool kPostBeforeSend = false;
    static constexpr sets::RetryLineFailure kRetryLineFailure = sets::RetryLineFailure::kItemResult;

    ParaSet* set;
    int station, kind, sendAll;

    bool to_send(const ParaRecord& r) const { return sendAll != 1 ? r.nChgFlag != 0 : kind != 2 || r.wAttr != 0; }
    // An absent parameter goes as 0; one that does not convert stays behind
    // with its code and ends the block before it.
    bool pack(int no, unsigned char* image) {
        ParaRecord& r = set->para[no - 1];
        if (kind != 2 && r.wAttr == 0) r.dValue = 0;
        if (!to_send(r)) return false;
        unsigned char field[bcd::kBcdFieldMax] = {};
        const short conv = bcd::Double_to_Bcd(r.dValue, r.wAttr, is_unsigned(r.wAttr) ? 16 : 10, field);
        if (conv != TAV_OK) {
            r.nResult = conv;
            result = conv;
            return false;
        }
        std::memcpy(image, field, kField);
        return true;
    }
    short send(int first, int count, const unsigned char* data, unsigned char* status) const {
        const unsigned start = bcd_of(first);
        const comm::WynApi& w = comm::wyn();
        short code;
        if (kind == 2)
            code = comm::Wyn_General_Acs(static_cast<unsigned char>(station), kWrite, static_cast<unsigned char>(count),
                                         kHiddenMemory, static_cast<unsigned char>(start), 1, 0, kField * count, data,
                                         0, status);
        else
            code = (kind == 0 ? w.Wyn_StdPara_Wt : w.Wyn_SysPara_Wt)(station, count, start, 5 * count, data, status);
        // A refusal is write protection for the operator's parameters, whoever reports it.
        return code == TAV_E_STR_REFUSED ? TAV_E_WRITE_PROTECTED : code;
    }
    static short map_status(short code) { return code == TAV_E_STR_REFUSED ? TAV_E_WRITE_PROTECTED : code; }
    // A write-protected block of system parameters ends the write at once, without a retry.
    bool retried(short, short outcome) const { return !(outcome == TAV_E_WRITE_PROTECTED && kind == 1); }
    // The system and hidden parameters are read back after their retry went through.
    short confirm(int no) const { return kind != 0 ? read_back(station, kind, no - 1) : Result{TAV_OK}; }
    void item_done(int no, short outcome) {
        ParaRecord& r = set->para[no - 1];
        r.nResult = outcome;
        if (outcome == TAV_OK) r.nChgFlag = 0;
    }
    // A write-protected last parameter ends the write; another failure leaves the block's code.
    short after_retry(const sets::RetryTally& t) {
        if (t.last == TAV_E_WRITE_PROTECTED) return TAV_E_WRITE_PROTECTED;
        if (t.lastFailure != TAV_OK) result = t.block;
        return TAV_OK;
    }
    void post_progress(int, int) const { para::post_progress(set); }
};

// The transfer opening (memory kind 0) and closing (memory kind 1) frames.
short session_frame(int station, unsigned char kind) {
    unsigned char status[2] = {};
    const short code =
        comm::Wyn_General_Acs(static_cast<unsigned char>(station), kWrite, 0, kind, 0, 0, 0, 0, nullptr, 0, status);
    return code != TAV_OK ? code : comm::Wyn_STR_ERR_Chk(status);
}

// Port lock, marker refresh, line open and identification of a station; on
// success the line is open and rec holds the record. The session gives the
// line and the lock back.
short open_and_identify(line::PortSession& session, int station, unsigned char* rec) {
    short code = session.lock();
    if (code != TAV_OK) return code;
    frame::CheckDiagnosticMarkersWithProbe();
    if ((code = session.open()) != TAV_OK) return code;
    std::memset(rec, 0, kRecordSize);
    rec[4] = 1;
    code = comm::wyn().Wyn_SysCondition_Rd(station, kRecordSize, rec);
    apply_forced_model(rec);
    if (code != TAV_OK) session.close();
    return code;
}

void copy_identification(ParaSet* set, const unsigned char* rec) {
    sets::take_identification(set, rec);
    set->nFamily = 0;  // a set read from the device carries no auxiliary value
}

short device_read(const char* station, int kind, ParaSet* set) {
    int number = 0;
    short code = resolve_station(station, &number);
    if (code != TAV_OK) return code;
    if (number == kNoAmplifier) return TAV_E_STATION;
    unsigned char rec[kRecordSize];
    line::PortSession session;
    code = open_and_identify(session, number, rec);
    if (code != TAV_OK) return code;
    if (rec[4] != kOperatorFamily) return TAV_E_NOT_OPERATOR;
    code = ParaIni_Rd(0, kind, set);
    copy_identification(set, rec);
    if (code == TAV_OK) code = Para_Syousuh_Chg(set, 0, 0, 0);
    if (code == TAV_OK) code = Para_Amp_Rd(station, set);
    return code;
}

short device_write(const char* station, int sendAll, ParaSet* set) {
    int number = 0;
    short code = resolve_station(station, &number);
    if (code != TAV_OK) return code;
    unsigned char rec[kRecordSize];
    line::PortSession session;
    code = open_and_identify(session, 0, rec);
    if (code != TAV_OK) return code;
    if (sendAll == 1 && rec[4] != kOperatorFamily) return TAV_E_NOT_OPERATOR;
    code = session_frame(number, 0x00);
    if (code == TAV_OK) code = Para_Amp_Wt(station, sendAll, set);
    if (code == TAV_OK) code = session_frame(number, 0x01);
    return code;
}

std::string limit_text(const ParaRecord& r, double v, short* status) {
    char t[bcd::kTextMax];
    if (is_unsigned(r.wAttr)) {
        tavplat::format_text(t, sizeof t, "%10lXH", static_cast<unsigned long>(static_cast<long long>(
                                                        std::isfinite(v) ? std::trunc(std::fabs(v) < 9e18 ? v : 0) : 0)));
        *status = TAV_OK;
        return t;
    }
    *status = bcd::Double_to_Char(v, r.wAttr, 10, t);
    const char* p = t;
    while (*p == ' ') ++p;
    return p;
}

short range_text(ParaRecord& r, int code) {
    if (code == kC0 || code == kC1 || code == kC2 || code == kO0 || code == kO1 || code == kO2 || code == kZZ)
        return TAV_OK;
    const bool noNote = r.szNote[0] == '\0';
    if (noNote && (code == kDD || code == kNN || code == kSS || r.dMax == 0)) return TAV_OK;
    short status = TAV_OK;
    const std::string mn = limit_text(r, r.dMin, &status);
    const std::string mx = limit_text(r, r.dMax, &status);
    const std::string tilde = text::Text(kTildeText);
    std::string motor;
    if (code == kKK) motor = text::Text(kSpeedText);
    else if (code == kTT) motor = text::Text(kTorqueText);
    else if (code == kFF) motor = text::Text(kInertiaText);
    std::string out;
    if (r.szNote[0] == '-')
        out = mn + tilde + mx;
    else if (code == kKK || code == kTT)
        out = mn + tilde + motor + mx + r.szNote;
    else if (code == kFF)
        out = mn + tilde + mx + motor + r.szNote;
    else
        out = mn + tilde + mx + r.szNote;
    tavplat::copy_text(r.szItemComment, out.c_str());
    return status;
}

// A limit cut to a whole number the way the operator stores it: through the
// 10-digit field with its decimal nibble cleared, read back as 8 digits.
// Attribute bit 4 goes with two decimal places, so the 8 digits are the
// integer part.
double whole_number(double v, unsigned attr) {
    unsigned char field[bcd::kBcdFieldMax] = {};
    if (bcd::Double_to_Bcd(v, attr, 10, field) != TAV_OK) return v;
    field[0] &= 0x0Fu;
    double out = v;
    bcd::Bcd_to_Double(field, 8, &out);
    return out;
}

}  // namespace

short Para_Syousuh_Chg(ParaSet* set, int changed, int withTexts, int /*reserved*/) {
    double speed = 0, torque = 0, inertia = 0;
    line::Motor_Info_Rd(set->byInfo10, &speed, &torque, &inertia);
    const double last = 1;
    const bool infoOff = set->byInfo7 == 0 && set->byInfo8 == 0;
    short status = TAV_OK;
    for (int i = 0; i < set->nParaCount && i < kSlots; ++i) {
        ParaRecord& r = set->para[i];
        const int code = code_number(r);
        switch (code) {
            case kKK:
                if (r.dInitial == r.dMax) r.dInitial = speed;
                r.dMax = speed;
                break;
            case kTT:
                r.dMax = r.dInitial = (set->byInfo10 == 7 && set->byInfo14 == 9) ? 240 : torque;
                break;
            case kC1:
            case kC2:
            case kO1:
            case kO2:
                if (infoOff || (code == kO2 && set->byInfo7 == 1)) {
                    tavplat::copy_text(r.szName, text::Text(kUnusedText).c_str());
                    r.wAttr = 0;
                    r.dInitial = r.dMax = r.dMin = r.dScale = 0;
                }
                break;
            case kFF:
                r.dMax = inertia;
                r.dInitial = r.dValue = last;
                break;
            case kSS:
                break;
            default:
                if (r.wAttr & 0x0010u) {
                    r.dInitial = whole_number(r.dInitial, r.wAttr);
                    r.dMax = whole_number(r.dMax, r.wAttr);
                    r.dMin = whole_number(r.dMin, r.wAttr);
                    if (changed == 1) r.dValue = whole_number(r.dValue, r.wAttr);
                    r.dScale = 1;
                    r.wAttr &= 0x00FFu;
                }
                break;
        }
        if (withTexts == 1) {
            frame::PrintFormScope printForm;
            status = range_text(r, code);
        }
    }
    return status;
}

short Para_Amp_Rd(const char* station, ParaSet* set) {
    const bool store = !frame::marker_exists(kNoStoreMarker);
    const int n = std::min(int{set->nParaCount}, kSlots);
    int total = n;
    if (set->nKind == 2) {
        total = 0;
        for (int i = 0; i < n; ++i) total += set->para[i].wAttr != 0;
    }
    set->nProgressTotal = total;
    int number = 0;
    short code = prepare_blocks(station, &number);
    if (code != TAV_OK) return code;

    // A hidden parameter without attribute is not on the device: it ends a block and is passed over.
    sets::BlockWalker blocks(n, kReadBlock, [&](int no) { return set->nKind != 2 || set->para[no - 1].wAttr != 0; });
    int first = 0, count = 0;
    while (blocks.next(&first, &count))
        if ((code = read_run(number, set, first - 1, count, store)) != TAV_OK) return code;
    sets::stamp_read_date(set);
    if (comm::wyn().GetKbType() != 0)
        tavplat::copy_text(set->szAmpNo, "000");
    else
        tavplat::format_text(set->szAmpNo, sizeof set->szAmpNo, "%03d", number);
    return TAV_OK;
}

short Para_Amp_Wt(const char* station, int sendAll, ParaSet* set) {
    const int n = std::min(int{set->nParaCount}, kSlots);
    ParaBlocks blocks{{}, set, 0, set->nKind, sendAll};
    int total = 0;
    for (int i = 0; i < n; ++i) total += blocks.to_send(set->para[i]);
    set->nProgressTotal = total;
    const short code = prepare_blocks(station, &blocks.station);
    if (code != TAV_OK) return code;
    return sets::write_blocks(blocks, n);
}

short Para_ComRd(const char* file, const char* station, int kind, ParaSet* set) {
    if (kind < 0 || kind > 2) return TAV_E_PARAMETER;
    set->nProgressTotal = set->nProgressDone = 0;
    short code;
    if (station == nullptr) {
        code = Para_Rd(file, kind, set);
        const bool fromFile = file != nullptr && file[0] != '\0';
        if (code == TAV_OK) code = Para_Syousuh_Chg(set, fromFile ? 0 : 1, 1, 0);
    } else {
        code = device_read(station, kind, set);
        if (code == TAV_OK) code = Para_Syousuh_Chg(set, 1, 1, 0);
    }
    sets::finish_progress(set, code);
    return code;
}

short Para_ComWt(const char* file, const char* station, int /*reserved*/, int sendAll, ParaSet* set) {
    set->nProgressTotal = set->nProgressDone = 0;
    if (station == nullptr) {
        frame::PrintFormScope printForm;
        return Para_Wt(file, set);
    }
    short failed = TAV_OK;
    bool anyChanged = false;
    for (int i = 0; i < set->nParaCount && i < kSlots; ++i) {
        ParaRecord& r = set->para[i];
        anyChanged = anyChanged || r.nChgFlag != 0;
        if (r.wAttr == 0) continue;
        const short check = range_check(r, r.dValue);
        if (check != TAV_OK && (sendAll == 1 || r.nChgFlag != 0)) {
            r.nResult = check;
            failed = check;
        }
    }
    short code = failed;
    if (code == TAV_OK && sendAll != 1 && !anyChanged) code = TAV_E_NOTHING_TO_SEND;
    if (code == TAV_OK) code = device_write(station, sendAll, set);
    sets::finish_progress(set, code);
    return code;
}

}  // namespace tav::para
