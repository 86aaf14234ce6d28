// Extended parameter transfer with a KESTA7 / KESTA7 Mini amplifier behind
// the servo operator: block reads of up to four parameters, block writes of
// up to two with a one-by-one retry, progress and cancellation.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "bcd/bcd.h"
#include "comm/comm.h"
#include "frame/frame.h"
#include "line/direct_access.h"
#include "line/line.h"
#include "newpara/state.h"
#include "platform/platform.h"
#include "sets/block_transfer.h"
#include "sets/sets.h"
#include "text/text.h"

namespace tav::newpara {

namespace {

constexpr int kRecordSize = 17;
constexpr int kReadBlock = 4;
constexpr int kWriteProtect = 173;  // PA2 74: sent first and alone on the parameter page
constexpr int kOperatorFamily = 0x50;
constexpr int kNoStoreMarker = 1030;

// The station of a list entry: the station text is the entry number in servo.con.
short station_of(const char* stationText, int* station) {
    int count = 0, flag = 0;
    char name[512] = {};
    const int entry = line::parse_int(stationText);
    return line::AmpData_Rd(entry, 0, &count, station, name, &flag);
}

void post_progress(const NewParaSet* set, int remaining) {
    const bool lin = set->nModel == 2;
    const int total = lin ? 396 : 297, offset = lin ? 99 : 0;
    const int rate = (total - offset - remaining) * 100 / total;
    frame::SendProgressRate(static_cast<unsigned>(std::max(rate, 0)));
}

void encode(double value, unsigned attr, unsigned char* out6) {
    unsigned char b[bcd::kBcdFieldMax] = {};
    const int saved = frame::switches().printForm;
    frame::switches().printForm = 0;
    bcd::Double_to_Bcd(value, static_cast<int>(attr), 10, b);
    frame::switches().printForm = saved;
    std::memcpy(out6, b, 6);
}

void store_identification(NewParaSet* set, const unsigned char* rec) {
    sets::take_identification(set, rec);
    set->nFamily = rec[4];  // the amplifier family selects the definitions
}

// Runs every present parameter through the value check with its own value,
// leaving the record as it was; notes whether any is marked changed.
short check_set(NewParaSet* set, bool all, bool requireChanged, bool* anyChanged) {
    NewParaRecord& saved = state().checkedRecord;
    const int count = std::min(int{set->nParaCount}, kParaCount);  // int{}: a copy, the set is packed
    *anyChanged = false;
    for (int i = 0; i < count; ++i) {
        NewParaRecord& r = set->para[i];
        if (r.wAttr == 0) continue;
        const bool changed = r.nChgFlag == 1;
        *anyChanged = *anyChanged || changed;
        std::memcpy(&saved, &r, sizeof saved);
        const short code = NewPara_Dat_Chg(set, i + 1, r.dValue);
        std::memcpy(&r, &saved, sizeof saved);
        if (code != TAV_OK) {
            if (all || !requireChanged || changed) r.nResult = code;
            return code;
        }
    }
    return TAV_OK;
}

void trace_record(const unsigned char* rec) {
    frame::tracef("************************************");
    frame::tracef("Wyn_SysCondition_Rd[amp]STR1=0x%02X:STR2=0x%02X:series=0x%02X:capacity=0x%02X:model=0x%02X:pos=0x%02X",
                  rec[0], rec[1], rec[2], rec[3], rec[4], rec[5]);
    frame::tracef("              [amp]ZNO=0x%02X:IO=0x%02X:extIO=0x%02X:option=0x%02X:PG=0x%02X:motor=0x%04X", rec[6],
                  rec[7], rec[8], rec[9], rec[10], rec[11] | (rec[12] << 8));
    frame::tracef("              [motor]type=0x%02X:capacity=0x%02X:ZNO=0x%02X:encoder=0x%02X", rec[13], rec[14],
                  rec[15], rec[16]);
}

enum class Source { kValue, kInitial };

// The extended parameters' block write: two values per exchange, never across
// a page; only a block whose status failed is sent again parameter by
// parameter, and a failed exchange ends the write. The progress rate goes
// before each send, from the parameters left.
struct NewParaBlocks : sets::BlockRules {
    static constexpr int kBlockSize = 2, kPageSize = newpara::kPageSize, itemSize = 6;
    static constexpr sets::RetryLineFailure kRetryLineFailure = sets::RetryLineFailure::kEndsWrite;
    static constexpr const char* kRetryTrace = "**retry****************";

    NewParaSet* set;
    int station, count;
    bool all, initial, protectFirst;
    int trace = 0;

    double value_of(const NewParaRecord& r) const { return initial ? r.dInitial : r.dValue; }
    bool pack(int no, unsigned char* image) {
        NewParaRecord& r = set->para[no - 1];
        if (r.wAttr == 0 && !initial) r.dValue = 0;
        // The write protection switch went first, alone.
        if ((protectFirst && no == kWriteProtect) || !(all || r.nChgFlag == 1)) return false;
        encode(value_of(r), r.wAttr, image);
        return true;
    }
    short send(int first, int n, const unsigned char* data, unsigned char* status) const {
        return comm::wyn().Wyn_Para_Wt2(station, n, first, (6 * n) & 0xFF, data, status);
    }
    void after_send(short code, int first, int n, const unsigned char* status) const {
        if (trace)
            frame::tracef("Wyn_Para_Wt2()=%d:amp=%03d:count=%d:first=%d:STR1=%02x:STR2=%02x", code, station, n, first,
                          status[0], status[1]);
    }
    static short map_status(short code) { return code == TAV_E_STR_REFUSED ? TAV_E_WRITE_PROTECTED : code; }
    // An initial-value write leaves the working values' marks as they were.
    void item_done(int no, short outcome) {
        if (initial) return;
        NewParaRecord& r = set->para[no - 1];
        if (outcome == TAV_OK) r.nChgFlag = 0;
        r.nResult = outcome;
    }
    // A retried block sets the write's result, failed or not.
    short after_retry(const sets::RetryTally& t) {
        if (t.anyProtected) return TAV_E_WRITE_PROTECTED;
        result = t.lastFailure;
        return TAV_OK;
    }
    void post_progress(int first, int) const { newpara::post_progress(set, count - (first - 1)); }
};

// The block writer behind Amp_Wt and Amp_Ini_Wt.
Result send_parameters(const char* stationText, bool all, Source source, NewParaSet* set) {
    const bool initial = source == Source::kInitial;
    const int count = std::min(int{set->nParaCount}, kParaCount);  // int{}: a copy, the set is packed
    set->nProgressTotal = count;
    if (!all) {
        int changed = 0;
        for (int i = 0; i < count; ++i) changed += set->para[i].nChgFlag == 1;
        set->nProgressTotal = changed;
    }
    NewParaBlocks blocks{{}, set, 0, count, all, initial, set->nKind == 0 && count >= kWriteProtect};
    short code = station_of(stationText, &blocks.station);
    if (code != TAV_OK) return code;

    // The write protection switch goes first, so that the rest is accepted.
    NewParaRecord& protect = set->para[kWriteProtect - 1];
    if (blocks.protectFirst && (all || protect.nChgFlag == 1)) {
        unsigned char data[6], status[4] = {};
        encode(blocks.value_of(protect), protect.wAttr, data);
        code = blocks.send(kWriteProtect, 1, data, status);
        if (code == TAV_OK) code = comm::Wyn_STR_ERR_Chk(status);
        if (code != TAV_OK) {
            protect.nResult = code;
            return code;
        }
        ++set->nProgressDone;
        if (!initial) protect.nChgFlag = protect.nResult = 0;
    }
    LineSettings ls{};
    code = line::Set_Rd(&ls);
    if (code != TAV_OK) return code;
    blocks.trace = frame::CheckDiagnosticMarkers();
    return sets::write_blocks(blocks, count);
}

// The write with a station: check, lock, line, identification, block writes.
short write_to_amplifier(const char* stationText, bool all, Source source, NewParaSet* set) {
    set->nProgressTotal = set->nProgressDone = 0;
    bool anyChanged = false;
    const bool initial = source == Source::kInitial;
    short code = check_set(set, all || initial, !initial, &anyChanged);
    if (code != TAV_OK) return code;
    if (!initial && !anyChanged && !all) return TAV_E_NOTHING_TO_SEND;

    int station = 0;
    code = station_of(stationText, &station);
    if (code != TAV_OK) return code;
    if (station == 999) return TAV_E_STATION;
    line::PortSession session;
    if ((code = session.lock()) != TAV_OK) return code;
    const int trace = frame::CheckDiagnosticMarkers();
    if ((code = session.open()) == TAV_OK) {
        unsigned char rec[kRecordSize] = {};
        const short rd = comm::wyn().Wyn_SysCondition_Rd(0, kRecordSize, rec);
        if (trace) trace_record(rec);
        if (rd == TAV_OK && rec[4] != kOperatorFamily) {
            code = TAV_E_NOT_OPERATOR;
        } else {
            const int amp = line::parse_int(set->szAmpNo);
            const unsigned char a = static_cast<unsigned char>(amp);
            unsigned char buffer[4] = {}, answer[8] = {};
            code = comm::Wyn_General_Acs(a, 81, 0, 81, 0, 0, 0, 0, buffer, 2, answer);
            if (code == TAV_OK) {
                unsigned char block[15];
                sets::identification_image(*set, block);
                code = comm::Wyn_General_Acs(a, 81, 0, 2, 0, 1, 4, 15, block, 2, answer);
            }
            if (code == TAV_OK) {
                char text[8];
                tavplat::format_text(text, sizeof text, "%03d", line::parse_int(stationText));
                code = send_parameters(initial ? text : stationText, all || initial, source, set);
            }
            if (code == TAV_OK) code = comm::Wyn_General_Acs(a, 81, 0, 81, 0, 1, 0, 0, buffer, 2, answer);
        }
    }
    session.close();
    return code;
}

}  // namespace

short NewPara_Amp_Rd(const char* stationText, NewParaSet* set, int first, int last) {
    const bool store = !frame::marker_exists(kNoStoreMarker);
    const int paraCount = std::min(int{set->nParaCount}, kParaCount);  // int{}: a copy, the set is packed
    set->nProgressTotal = paraCount;
    int station = 0;
    short code = station_of(stationText, &station);
    if (code != TAV_OK) return code;
    LineSettings ls{};
    if ((code = line::Set_Rd(&ls)) != TAV_OK) return code;
    frame::CheckDiagnosticMarkers();

    const int count = last - first > 0 ? std::min(last - first, paraCount) : paraCount;
    const comm::WynApi& w = comm::wyn();
    const std::string unused = text::Text(10010);
    // Blocks: consecutive present parameters, at most four, never across a page.
    sets::BlockWalker blocks(count, kReadBlock, [&](int no) { return set->para[no - 1].wAttr != 0; }, kPageSize);
    int walked = 0, no = 0, n = 0;
    while (blocks.next(&no, &n)) {
        const int i = no - 1;
        set->nProgressDone += i - walked;  // the absent parameters passed over count as done
        post_progress(set, paraCount - i);
        unsigned char reply[6 * kReadBlock + 2] = {};
        code = w.Wyn_Para_Rd2(station, n, i + 1, 6 * n + 2, reply);
        if (code == TAV_OK) code = comm::Wyn_STR_ERR_Chk(reply);
        if (code != TAV_OK) return code;
        if (store) {
            for (int k = 0; k < n; ++k) {
                NewParaRecord& r = set->para[i + k];
                const unsigned char* field = reply + 2 + 6 * k;
                if ((field[0] & 0x08) != 0) {
                    r.dValue = 0;
                    r.nResult = TAV_E_MEMORY_ERROR;
                } else {
                    if ((r.wAttr & 0x0010) != 0) r.wAttr = static_cast<uint16_t>(r.wAttr & ~0x0060);
                    double v = 0;
                    const short c = bcd::Bcd_to_Double(field, 10, &v);
                    r.dValue = c == 0 ? v : 0;
                    r.nResult = c;
                }
                const int d = (r.wAttr >> 8) & 0x0F;
                double p10 = 1;
                for (int e = 0; e < d; ++e) p10 *= 10;
                r.dMax = 9999999999.0 / p10;
                r.dMin = ((r.wAttr & 0x0004) != 0 || unused == r.szName) ? -r.dMax : 0;
            }
        }
        set->nProgressDone += n;
        walked = i + n;
        if (set->nCancel == TAV_E_CANCELLED) return TAV_E_CANCELLED;
    }
    set->nProgressDone += count - walked;  // and so do those after the last block
    sets::stamp_read_date(set);
    tavplat::format_text(set->szAmpNo, sizeof set->szAmpNo, "%03d", station);
    return TAV_OK;
}

short NewPara_ComRd(const char* path, const char* stationText, int kind, NewParaSet* set, int first, int last) {
    set->nProgressTotal = set->nProgressDone = 0;
    short code = TAV_OK;
    {
        line::PortSession session;
        if (stationText != nullptr && (code = session.lock()) != TAV_OK) return code;
        frame::CheckDiagnosticMarkers();
        if (stationText == nullptr) {
            code = NewPara_Rd(path, kind, set);
        } else {
            int station = 0;
            code = station_of(stationText, &station);
            if (code == TAV_OK && station == 999) code = TAV_E_STATION;
            if (code == TAV_OK) code = session.open();
            unsigned char rec[kRecordSize] = {};
            if (code == TAV_OK && comm::wyn().Wyn_SysCondition_Rd(0, kRecordSize, rec) == TAV_OK &&
                rec[4] != kOperatorFamily)
                code = TAV_E_NOT_OPERATOR;
            if (code == TAV_OK) {
                std::memset(rec, 0, sizeof rec);
                code = comm::wyn().Wyn_SysCondition_Rd(station, kRecordSize, rec);
            }
            if (code == TAV_OK) {
                if (rec[4] == kFamilyKesta7) code = NewParaIni_Rd(rec[3], rec[13], kind, set);
                else if (rec[4] == kFamilyMini) code = NewParaIni_Rd2(rec[3], rec[13], kind, set);
                else code = TAV_E_NOT_OPERATOR;
                if (code == TAV_OK || rec[4] == kFamilyKesta7 || rec[4] == kFamilyMini) store_identification(set, rec);
                if (code == TAV_OK) code = NewPara_Syousuh_Chg(set, 0, 0, 0, 1);
                if (code == TAV_OK) code = NewPara_Amp_Rd(stationText, set, first, last);
            }
        }
    }
    if (code == TAV_OK) {
        const bool neither = (path == nullptr || path[0] == '\0') && stationText == nullptr;
        code = neither ? NewPara_Syousuh_Chg(set, 1, 1, 0, 1) : NewPara_Syousuh_Chg(set, 0, 1, 0, 0);
    }
    sets::finish_progress(set, code);
    return code;
}

short NewPara_Amp_Wt(const char* stationText, int all, NewParaSet* set) {
    return send_parameters(stationText, all != 0, Source::kValue, set);
}

short NewPara_Amp_Ini_Wt(const char* stationText, int reserved, NewParaSet* set) {
    return send_parameters(stationText, true, Source::kInitial, set);
}

short NewPara_ComWt(const char* path, const char* stationText, int reserved, int all, NewParaSet* set) {
    if (stationText == nullptr) {
        frame::PrintFormScope printForm;
        return NewPara_Wt(path, set);
    }
    const short code = write_to_amplifier(stationText, all != 0, Source::kValue, set);
    sets::finish_progress(set, code);
    return code;
}

short NewPara_ComInitWt(NewParaSet* set) {
    char text[8];
    tavplat::format_text(text, sizeof text, "%d", line::parse_int(set->szAmpNo));
    const short code = write_to_amplifier(text, true, Source::kInitial, set);
    sets::finish_progress(set, code);
    return code;
}

}  // namespace tav::newpara
