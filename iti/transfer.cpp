// Moving a positioning table between the working copy and an L-type
// amplifier: the decimal-point settings, the point blocks, the range check
// before sending, and one point read live.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bcd/bcd.h"
#include "comm/comm.h"
#include "frame/frame.h"
#include "iti/state.h"
#include "line/direct_access.h"
#include "line/line.h"
#include "newpara/newpara.h"
#include "platform/platform.h"
#include "sets/block_transfer.h"
#include "sets/sets.h"
#include "text/text.h"

namespace tav::iti {

namespace {

constexpr int kImageSize = 16;        // one point on the line
constexpr int kReplySize = kBlockReplySize;
constexpr unsigned char kOperatorFamily = 0x50;
constexpr unsigned kKesta7 = 0x30, kKesta7Mini = 0x40;
constexpr int kCmdTexts = 3500, kStepTexts = 3510;

// The positioning points travel as 16-byte images through Wyn_PlaceDat_Rd2/Wt2,
// with a progress percentage and the trace dump.
constexpr PointLine kPointLine = {PlaceDat::Rd2Wt2, kImageSize, true, true, nullptr};

bool in_range(const ItiDatSet* set, int index) { return point_in_range(set, set->point[index]); }

void pack_point(ItiDatSet* set, int index, unsigned char* image) {
    std::memset(image, 0, kImageSize);
    pack_point_values(set, set->point[index], image);
}

void decode_point(ItiDatSet* set, int index, const unsigned char* image) {
    decode_point_values(set, image, index + 1, set->point[index]);
}

void trace_block(short result, int amp, int count, int first, const unsigned char* reply, int imageSize) {
    frame::tracef("Wyn_PlaceDat result=%d amp=%d count=%d first=%d STR1=%02X STR2=%02X", result, amp, count, first,
                  reply[0], reply[1]);
    for (int i = 0; i < count && 2 + (i + 1) * imageSize <= kReplySize; ++i) {
        const unsigned char* b = reply + 2 + i * imageSize;
        frame::tracef("%02X %02X%02X%02X%02X%02X%02X %02X%02X%02X%02X %02X%02X%02X%02X %02X", b[0], b[1], b[2], b[3],
                      b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    }
}

bool within(double v, double low, double high) { return v >= low && v <= high; }

template <class Point>
bool to_send(const Point& p, int writeAll) { return writeAll != 0 || p.nChgFlag != 0; }

}  // namespace

unsigned point_bcd(int no) {
    unsigned v = 0;
    bcd::int_to_Bcd(no, &v);
    return v;
}

short lookup_decimal_params(DecimalParamFinder finder, DecimalParams* dp) {
    if (finder == nullptr) finder = newpara::decimal_point_params;
    return finder(&dp->stopPos, &dp->stopTime, &dp->family);
}

short read_decimal_settings(int station, const DecimalParams& dp, unsigned* stopPos, unsigned* stopTime) {
    unsigned char reply[8] = {};
    comm::wyn().Wyn_Para_Rd2(station, 1, dp.stopPos, sizeof reply, reply);  // its result is not used
    unsigned pos = reply[7];
    std::memset(reply, 0, sizeof reply);
    const short code = comm::wyn().Wyn_Para_Rd2(station, 1, dp.stopTime, sizeof reply, reply);
    if (code != TAV_OK) return code;
    unsigned time = reply[7];
    if (pos > 5) {
        // "位置決め編集：停止位置小数点位置ﾃﾞｰﾀ強制変更[%d]"
        frame::tracef("\x88\xca\x92\x75\x8c\x88\x82\xdf\x95\xd2\x8f\x57\x81\x46\x92\xe2\x8e\x7e\x88\xca\x92\x75"
                      "\x8f\xac\x90\x94\x93\x5f\x88\xca\x92\x75\xc3\xde\xb0\xc0\x8b\xad\x90\xa7\x95\xcf\x8d\x58[%d]",
                      0);
        pos = 0;
    }
    if (time > 1) {
        // "位置決め編集：停止時間小数点位置ﾃﾞｰﾀ強制変更[%d]"
        frame::tracef("\x88\xca\x92\x75\x8c\x88\x82\xdf\x95\xd2\x8f\x57\x81\x46\x92\xe2\x8e\x7e\x8e\x9e\x8a\xd4"
                      "\x8f\xac\x90\x94\x93\x5f\x88\xca\x92\x75\xc3\xde\xb0\xc0\x8b\xad\x90\xa7\x95\xcf\x8d\x58[%d]",
                      0);
        time = 0;
    }
    *stopPos = pos;
    *stopTime = time;
    return TAV_OK;
}

// ------------------------------------------------ shared by both tables
template <class Set, class Point>
bool point_in_range(const Set* set, const Point& p) {
    static constexpr double kPosBound[] = {2000000000.0, 200000000.0, 20000000.0, 2000000.0, 200000.0, 20000.0};
    if (set->wStopPosDp > 5 || set->wStopTimeDp > 1) return false;
    const double pos = kPosBound[set->wStopPosDp];
    const double timer = set->wStopTimeDp == 0 ? 655.35 : 65.535;
    return p.nCmdMode >= 0 && p.nCmdMode <= 1 && p.nStepMode >= 0 && p.nStepMode <= 3 && p.nMValid >= 0 &&
           p.nMValid <= 1 && p.nMTiming >= 0 && p.nMTiming <= 1 && p.nMCode >= -128 && p.nMCode <= 256 &&
           within(p.dSpeed, -7999.99, 7999.99) && within(p.dStopTimer, 0.0, timer) && within(p.dStopPos, -pos, pos);
}

template <class Set, class Point>
void pack_point_values(const Set* set, Point& p, unsigned char* image) {
    image[0] = static_cast<unsigned char>(p.nMTiming * 32 + p.nMValid * 16 + p.nStepMode * 2 + p.nCmdMode);
    auto field = [&](double value, int digits, int places, unsigned char* at) {
        const short code = write_bcd(value, digits, places, at);
        if (code != TAV_OK) p.nStatus = code;
    };
    field(p.dStopPos, 10, set->wStopPosDp, image + 1);
    field(p.dSpeed, 6, 2, image + 7);
    field(p.dStopTimer, 6, set->wStopTimeDp + 2, image + 11);
    image[15] = static_cast<unsigned char>(p.nMCode & 0xFF);
}

template <class Set, class Point>
bool decode_point_values(const Set* set, const unsigned char* image, int no, Point& p) {
    p.nDataNo = no;
    p.nChgFlag = 0;
    p.nStatus = 0;
    if (image[0] & 0x80) {
        // Faulty memory on the amplifier: safe defaults, the read goes on.
        p.nCmdMode = 1;
        p.nStepMode = 0;
        p.dStopPos = 0.0;
        p.dSpeed = 0.01;
        p.dStopTimer = 0.0;
        p.nMCode = 0xFF;
        p.nMValid = 0;
        p.nMTiming = 0;
        p.nStatus = TAV_E_MEMORY_ERROR;
        return false;
    }
    p.nCmdMode = image[0] & 0x01;
    p.nStepMode = (image[0] >> 1) & 0x03;
    p.nMValid = (image[0] >> 4) & 0x01;
    p.nMTiming = (image[0] >> 5) & 0x01;
    // Through a local: the packed point's doubles are not aligned.
    auto field = [&](const unsigned char* at, int digits, int places) {
        double v = 0.0;
        const short code = read_bcd(at, digits, places, &v);
        if (code != TAV_OK) p.nStatus = code;
        return v;
    };
    p.dStopPos = field(image + 1, 10, set->wStopPosDp);
    p.dSpeed = field(image + 7, 6, 2);
    p.dStopTimer = field(image + 11, 6, set->wStopTimeDp + 2);
    p.nMCode = image[15];
    return true;
}

template <class Set>
void header_from_record(Set* set, const unsigned char* rec, const char* ampNo, unsigned stopPos, unsigned stopTime,
                        int pointCount, int columnCount) {
    tavplat::copy_text(set->szAmpNo, ampNo);
    set->szFileName[0] = '\0';
    sets::take_identification(set, rec);
    set->nFamily = rec[4];
    set->byInfo9 = 3;
    set->nPointCount = pointCount;
    set->nColumnCount = static_cast<uint32_t>(columnCount);
    set->wStopPosDp = static_cast<uint16_t>(stopPos);
    set->wStopTimeDp = static_cast<uint16_t>(stopTime);
}

template <class Set>
void begin_send(Set* set) {
    const int n = point_count(set);
    set->nProgressTotal = 0;
    set->nProgressDone = 0;
    for (int i = 0; i < n; ++i) set->point[i].nStatus = 0;
    frame::CheckDiagnosticMarkersWithProbe();
}

template <class Set>
short check_points_to_send(Set* set, int writeAll, bool (*inRange)(const Set* set, int index)) {
    const int n = point_count(set);
    bool anyChanged = false;
    for (int i = 0; i < n; ++i) {
        if (set->point[i].nChgFlag != 0) anyChanged = true;
        if (to_send(set->point[i], writeAll) && !inRange(set, i)) {
            set->point[i].nStatus = TAV_E_RANGE;
            sets::finish_progress(set, TAV_E_RANGE);
            return TAV_E_RANGE;
        }
    }
    if ((writeAll == 0 && !anyChanged) || n == 0) {
        sets::finish_progress(set, TAV_E_NOTHING_TO_SEND);
        return TAV_E_NOTHING_TO_SEND;
    }
    return TAV_OK;
}

template <class Set>
Result read_point_blocks(const char* ampText, Set* set, const PointLine& wire, DecodePoint<Set> decode) {
    const int n = point_count(set);
    set->nProgressTotal = set->nPointCount;
    const int number = std::atoi(ampText);
    int count = 0, station = 0, flag = 0;
    char name[500] = {};
    short code = line::AmpData_Rd(number, 0, &count, &station, name, &flag);
    if (code != TAV_OK) return code;
    LineSettings settings{};
    code = line::Set_Rd(&settings);
    if (code != TAV_OK) return code;
    const bool traceOn = wire.traceDump && frame::CheckDiagnosticMarkers() == 1;

    const comm::WynApi& w = comm::wyn();
    const auto read = wire.exchange == PlaceDat::Rd2Wt2 ? w.Wyn_PlaceDat_Rd2 : w.Wyn_PlaceDat_Rd3;
    BlockWalker blocks(n, kPointsPerBlock, [](int) { return true; });
    int first = 0, inBlock = 0;
    while (blocks.next(&first, &inBlock)) {
        if (wire.progress) frame::SendProgressRate(block_progress(n, first + inBlock - 1));
        unsigned char reply[kReplySize] = {};
        const short result = read(station, inBlock, point_bcd(first), kReplySize, reply);
        set->nProgressDone += inBlock;
        if (set->nCancel == TAV_E_CANCELLED) return TAV_E_CANCELLED;
        const short str = result != TAV_OK ? result : comm::Wyn_STR_ERR_Chk(reply);
        if (wire.traceDump && (traceOn || str != TAV_OK))
            trace_block(result, number, inBlock, first, reply, wire.imageSize);
        if (str != TAV_OK) return str;
        for (int i = 0; i < inBlock; ++i) decode(set, first - 1 + i, reply + 2 + i * wire.imageSize);
    }

    sets::stamp_read_date(set);
    if (comm::wyn().GetKbType() != 0)
        tavplat::copy_text(set->szAmpNo, "000");
    else
        tavplat::format_text(set->szAmpNo, sizeof set->szAmpNo, "%03d", station);
    return TAV_OK;
}

// The point tables' block write: two points per exchange; only a block whose
// status failed is sent again point by point. Points are counted done as
// soon as their block was sent, and cancel is looked at once the exchange
// went through, before its status: a cancelled write leaves a refused block
// as it is.
template <class Set>
struct PointBlocks : sets::BlockRules {
    static constexpr int kBlockSize = kPointsPerBlock;
    static constexpr bool kCountAtSend = true;
    // A retry the line fails ends that block's retries (its points stay marked); the next block goes on.
    static constexpr sets::RetryLineFailure kRetryLineFailure = sets::RetryLineFailure::kEndsRetries;
    // "**リトライです****************"
    static constexpr const char* kRetryTrace = "**\x83\x8a\x83\x67\x83\x89\x83\x43\x82\xc5\x82\xb7****************";
    static constexpr bool kRetryTracePerItem = true;

    Set* set;
    const PointLine& wire;
    PackPoint<Set> packPoint;
    int writeAll, n, itemSize;
    int station = 0;
    bool traceOn = false;

    bool pack(int no, unsigned char* image) {
        if (!to_send(set->point[no - 1], writeAll)) return false;
        packPoint(set, no - 1, image);
        return true;
    }
    short send(int first, int count, const unsigned char* data, unsigned char* reply) const {
        const comm::WynApi& w = comm::wyn();
        return (wire.exchange == PlaceDat::Rd2Wt2 ? w.Wyn_PlaceDat_Wt2 : w.Wyn_PlaceDat_Wt3)(
            station, count, point_bcd(first), count * itemSize, data, reply);
    }
    void after_send(short code, int first, int count, const unsigned char* reply) const {
        if (traceOn) trace_block(code, station, count, first, reply, wire.imageSize);
        if (code == WYN_E_DATA_SIZE && wire.sizeErrorTrace != nullptr) frame::tracef("%s", wire.sizeErrorTrace);
    }
    void item_done(int no, short outcome) {
        if (outcome == TAV_OK) set->point[no - 1].nChgFlag = 0;
        set->point[no - 1].nStatus = outcome;
    }
    short after_retry(const sets::RetryTally& t) {
        if (t.lastFailure != TAV_OK) result = t.lastFailure;
        return TAV_OK;
    }
    void post_progress(int first, int count) const {
        if (wire.progress) frame::SendProgressRate(block_progress(n, first + count - 1));
    }
};

template <class Set>
Result write_point_blocks(int writeAll, Set* set, const PointLine& wire, PackPoint<Set> pack) {
    const int n = point_count(set);
    int total = 0;
    for (int i = 0; i < n; ++i) total += to_send(set->point[i], writeAll);
    set->nProgressTotal = writeAll != 0 ? set->nPointCount : total;
    PointBlocks<Set> blocks{{}, set, wire, pack, writeAll, n, wire.imageSize};
    const short code = line::TargetAmpKyoku_Rd(&blocks.station);
    if (code != TAV_OK) return code;
    blocks.traceOn = wire.traceDump && frame::CheckDiagnosticMarkers() == 1;
    return sets::write_blocks(blocks, n);
}

// Both tables' instances of the shared transfer steps.
#define TAV_ITI_TRANSFER_FOR(Set, Point)                                                                       \
    template bool point_in_range<Set, Point>(const Set*, const Point&);                                        \
    template void pack_point_values<Set, Point>(const Set*, Point&, unsigned char*);                           \
    template bool decode_point_values<Set, Point>(const Set*, const unsigned char*, int, Point&);              \
    template void header_from_record<Set>(Set*, const unsigned char*, const char*, unsigned, unsigned, int, int); \
    template void begin_send<Set>(Set*);                                                                       \
    template short check_points_to_send<Set>(Set*, int, bool (*)(const Set*, int));                           \
    template Result read_point_blocks<Set>(const char*, Set*, const PointLine&, DecodePoint<Set>);              \
    template Result write_point_blocks<Set>(int, Set*, const PointLine&, PackPoint<Set>);
TAV_ITI_TRANSFER_FOR(ItiDatSet, ItiDatPoint)
TAV_ITI_TRANSFER_FOR(ItiVvDatSet, ItiVvDatPoint)
#undef TAV_ITI_TRANSFER_FOR

void set_decimal_param_finder(DecimalParamFinder finder) { state().finder = finder; }

// ------------------------------------------------------------------ reading
short AmpRd(const char* ampText, ItiDatSet* set) { return read_point_blocks(ampText, set, kPointLine, decode_point); }

short ComRd(const char* fileName, const char* ampText, ItiDatSet* set) {
    if (ampText == nullptr) {
        const short code = DatFil_Rd(fileName, set);
        sets::finish_progress(set, code);
        return code;
    }
    set->nProgressTotal = 0;
    set->nProgressDone = 0;
    frame::CheckDiagnosticMarkersWithProbe();
    DecimalParams dp;
    if (lookup_decimal_params(state().finder, &dp) != TAV_OK) return 1;

    const int number = std::atoi(ampText);
    char ampNo[sizeof set->szAmpNo];
    tavplat::format_text(ampNo, sizeof ampNo, "%03d", number);
    short code;
    {
        line::PortSession session;
        code = session.lock_and_open();
        if (code == TAV_OK) {
            unsigned char rec[17] = {};
            code = comm::wyn().Wyn_SysCondition_Rd(number, sizeof rec, rec);
            if (code == TAV_OK && rec[3] != 2 && rec[3] != 4) code = TAV_E_NOT_L_TYPE;
            unsigned pos = 0, time = 0;
            if (code == TAV_OK) code = read_decimal_settings(number, dp, &pos, &time);
            if (code == TAV_OK) {
                header_from_record(set, rec, ampNo, pos, time, kMaxPoints, 10);
                code = AmpRd(ampText, set);
            }
        }
    }
    sets::finish_progress(set, code);
    return code;
}

// ------------------------------------------------------------------ writing
short AmpWt(const char* /*ampText*/, int writeAll, ItiDatSet* set) {
    return write_point_blocks(writeAll, set, kPointLine, pack_point);
}

short ComWt(const char* fileName, const char* ampText, int writeAll, ItiDatSet* set) {
    if (ampText == nullptr) {
        short code;
        {
            frame::PrintFormScope printForm;
            code = DatFil_Wt(fileName, set);
        }
        sets::finish_progress(set, code);
        return code;
    }
    begin_send(set);
    short code = check_points_to_send(set, writeAll, in_range);
    if (code != TAV_OK) return code;
    DecimalParams dp;
    if (lookup_decimal_params(state().finder, &dp) != TAV_OK) return 1;

    const int number = std::atoi(ampText);
    {
        line::PortSession session;
        code = session.lock_and_open();
        unsigned char rec[17] = {};
        if (code == TAV_OK) code = comm::wyn().Wyn_SysCondition_Rd(0, sizeof rec, rec);
        if (code == TAV_OK && rec[4] != kOperatorFamily) code = TAV_E_NOT_OPERATOR2;
        if (code == TAV_OK) {
            std::memset(rec, 0, sizeof rec);
            code = comm::wyn().Wyn_SysCondition_Rd(number, sizeof rec, rec);
        }
        if (code == TAV_OK) {
            if (rec[3] != 2 && rec[3] != 4) code = TAV_E_NOT_L_TYPE;
            if (static_cast<int>(rec[3]) != set->nModel) code = TAV_E_MODEL_MISMATCH;
        }
        unsigned pos = 0, time = 0;
        if (code == TAV_OK) code = read_decimal_settings(number, dp, &pos, &time);
        if (code == TAV_OK && (pos != set->wStopPosDp || time != set->wStopTimeDp)) code = TAV_E_DECIMAL_MISMATCH;
        if (code == TAV_OK) code = AmpWt(ampText, writeAll, set);
    }
    sets::finish_progress(set, code);
    return code;
}

// ------------------------------------------------------- decimal settings
short Att_AmpRd(const char* ampText, unsigned short* stopPosDp, unsigned short* stopTimeDp) {
    const int number = std::atoi(ampText);
    int target = 0;
    short code = line::TargetAmpKyoku_Rd(&target);
    if (code != TAV_OK) return code;
    DecimalParams dp;
    if (lookup_decimal_params(state().finder, &dp) != TAV_OK) return 1;

    line::PortSession session;
    code = session.lock_and_open();
    if (code != TAV_OK) return code;
    unsigned char rec[17] = {};
    code = comm::wyn().Wyn_SysCondition_Rd(number, sizeof rec, rec);
    if (code != TAV_OK) return code;
    const bool plainL = rec[3] == 0 && rec[13] == 0;
    if (dp.family == kKesta7) {
        if (rec[4] != kKesta7) return TAV_E_NOT_KESTA7;
        if (!(rec[3] == 2 || plainL)) return TAV_E_NOT_L_TYPE;
    } else if (dp.family == kKesta7Mini) {
        if (rec[4] != kKesta7Mini) return TAV_E_NOT_KESTA7_MINI;
        if (!plainL) return TAV_E_NOT_L_TYPE;
    }
    unsigned pos = 0, time = 0;
    code = read_decimal_settings(number, dp, &pos, &time);
    if (code != TAV_OK) return code;
    *stopPosDp = static_cast<unsigned short>(pos);
    *stopTimeDp = static_cast<unsigned short>(time);
    return TAV_OK;
}

// ------------------------------------------------------------ live point
short NoDat_Rd(int station, int no, ItiNoDatInfo* out) {
    unsigned char reply[kReplySize] = {};
    short code = comm::wyn().Wyn_PlaceDat_Rd2(station, 1, point_bcd(no), kReplySize, reply);
    if (code != TAV_OK) return code;
    code = comm::Wyn_STR_ERR_Chk(reply);
    if (code != TAV_OK) return code;

    const unsigned char* image = reply + 2;
    ItiNoDatInfo info{};
    info.byDataNo = static_cast<uint8_t>(no);
    info.nCmdMode = image[0] & 0x01;
    info.nStepMode = (image[0] >> 1) & 0x07;
    // Each field keeps the decimal point the amplifier put into it.
    double v = 0.0;
    bcd::Bcd_to_Double(image + 1, 10, &v);
    info.dStopPos = v;
    v = 0.0;
    bcd::Bcd_to_Double(image + 7, 6, &v);
    info.dSpeed = v;
    v = 0.0;
    bcd::Bcd_to_Double(image + 11, 6, &v);
    info.dStopTimer = v;
    info.nMCode = image[15];
    tavplat::format_text(info.szDataNo, sizeof info.szDataNo, "%2d", no);
    tavplat::copy_text(info.szCmdMode, text::Text(kCmdTexts + info.nCmdMode).c_str());
    tavplat::copy_text(info.szStepMode, text::Text(kStepTexts + info.nStepMode).c_str());
    {
        frame::PrintFormScope printForm;
        char t[bcd::kTextMax];
        bcd::Double_to_Char(info.dStopPos, (image[1] & 0xF0) << 4, 10, t);
        tavplat::copy_text(info.szStopPos, t);
        bcd::Double_to_Char(info.dSpeed, (image[7] & 0xF0) << 4, 6, t);
        tavplat::copy_text(info.szSpeed, t);
        bcd::Double_to_Char(info.dStopTimer, (image[11] & 0xF0) << 4, 6, t);
        tavplat::copy_text(info.szStopTimer, t);
    }
    tavplat::format_text(info.szMCode, sizeof info.szMCode, "%02x", info.nMCode);
    std::memcpy(out, &info, sizeof info);
    return TAV_OK;
}

}  // namespace tav::iti
