// Moving a VV table between the working copy and a V-type amplifier. The
// block walk, status checks, retries and bookkeeping are those of the
// positioning table; what differs: 24-byte point images through
// Wyn_PlaceDat_Rd3/Wt3, no progress percentage, decimal points read from the
// amplifier's point memory, and every write framed by an announce, the
// identification image and a close on the servo operator.
#include <cstdlib>
#include <cstring>

#include "bcd/bcd.h"
#include "comm/comm.h"
#include "comm/direct_access.h"
#include "frame/frame.h"
#include "itivv/itivv.h"
#include "line/line.h"
#include "platform/platform.h"

namespace tav::itivv {

namespace {

constexpr int kImageSize = 24;       // one VV point on the line
constexpr int kPointsPerBlock = 2;
constexpr int kReplySize = 100;
constexpr int kTimePlaces = 1;       // acceleration and deceleration: 0.1 s
constexpr int kNoAmplifier = 999;    // a station-list entry without an amplifier
constexpr unsigned char kOperatorFamily = 0x50;
constexpr unsigned char kKesta7 = 0x30, kKesta7Mini = 0x40;
constexpr unsigned char kWriteCommand = 0x51, kReadCommand = 0x50;
constexpr unsigned char kFramingKind = 0x51, kIdentKind = 2, kPointKind = 7;

iti::DecimalParamFinder g_finder = nullptr;

unsigned point_bcd(int no) {
    unsigned v = 0;
    bcd::int_to_Bcd(no, &v);
    return v;
}

// Port lock and line for the length of one transfer, as for the positioning
// table; both are released on every way out.
class LineSession {
public:
    short open() {
        int kind = 0;
        if (line::ComPortLock_quimbel(&kind) == TAV_E_LOCKED) return TAV_E_LOCKED;
        locked_ = true;
        if (line::Wyn_Net_Open() != TAV_OK) return TAV_E_OPEN_DEVICE;
        open_ = true;
        return TAV_OK;
    }
    ~LineSession() {
        if (open_) comm::wyn().Wyn_Net_Close();
        if (locked_) line::ComPortUnlock_quimbel();
    }

private:
    bool locked_ = false, open_ = false;
};

struct DecimalParams {
    int stopPos = 0, stopTime = 0;
    unsigned family = 0;
};

short lookup(DecimalParams* dp) {
    const iti::DecimalParamFinder finder = g_finder != nullptr ? g_finder : iti::find_decimal_params;
    return finder(&dp->stopPos, &dp->stopTime, &dp->family);
}

// The current target station; a list entry without an amplifier gives -19.
short target_station(int* station) {
    const short code = line::TargetAmpKyoku_Rd(station);
    if (code != TAV_OK) return code;
    return *station == kNoAmplifier ? TAV_E_STATION : TAV_OK;
}

// The two settings by parameter read, as the positioning table reads them
// (only srvTav_ItiVvAtt_AmpRd still goes this way).
short read_decimal_params(int station, const DecimalParams& dp, unsigned* stopPos, unsigned* stopTime) {
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

// The settings as the amplifier's point 1 carries them in its decimal nibbles
// (the positioning table reads two parameters instead).
short read_decimal_direct(int number, unsigned* stopPos, unsigned* stopTime) {
    unsigned char reply[26] = {};
    const short code = comm::Wyn_General_Acs(static_cast<unsigned char>(number), kReadCommand, 0, kPointKind, 1, 1,
                                             6, 0, nullptr, sizeof reply, reply);
    if (code != TAV_OK) return code;
    const unsigned pos = reply[3] >> 4;                    // stop-position field of the image
    const int time = static_cast<int>(reply[13] >> 4) - 2;  // stop timer carries code + 2 places
    *stopPos = pos > 5 ? 0 : pos;
    *stopTime = (time == 0 || time == 1) ? static_cast<unsigned>(time) : 0;
    return TAV_OK;
}

// One framing access on the servo operator's transfer memory.
short framing(int station, unsigned char kind, unsigned char low, unsigned char middle, unsigned char high,
              int length, const unsigned char* data) {
    unsigned char reply[2] = {};
    return comm::Wyn_General_Acs(static_cast<unsigned char>(station), kWriteCommand, 0, kind, low, middle, high,
                                 length, data, sizeof reply, reply);
}

void finish_progress(ItiVvDatSet* set, short code) {
    if (set->nProgressTotal != 0) return;
    if (code == TAV_OK) {
        set->nProgressTotal = 1;
        set->nProgressDone = 1;
    } else {
        set->nProgressDone = -1;
    }
}

bool within(double v, double low, double high) { return v >= low && v <= high; }

// The positioning table's ranges, and the two times.
bool in_range(const ItiVvDatSet* set, const ItiVvDatPoint& p) {
    static constexpr double kPosBound[] = {2000000000.0, 200000000.0, 20000000.0, 2000000.0, 200000.0, 20000.0};
    if (set->wStopPosDp > 5 || set->wStopTimeDp > 1) return false;
    const double pos = kPosBound[set->wStopPosDp];
    const double timer = set->wStopTimeDp == 0 ? 655.35 : 65.535;
    return p.nCmdMode >= 0 && p.nCmdMode <= 1 && p.nStepMode >= 0 && p.nStepMode <= 3 && p.nMValid >= 0 &&
           p.nMValid <= 1 && p.nMTiming >= 0 && p.nMTiming <= 1 && p.nMCode >= -128 && p.nMCode <= 256 &&
           within(p.dSpeed, -7999.99, 7999.99) && within(p.dStopTimer, 0.0, timer) &&
           within(p.dStopPos, -pos, pos) && within(p.dAccelTime, 0.0, 99999.9) &&
           within(p.dDecelTime, 0.0, 99999.9);
}

bool to_send(const ItiVvDatPoint& p, int writeAll) { return writeAll != 0 || p.nChgFlag != 0; }

void pack_field(ItiVvDatPoint& p, double value, int places, int digits, unsigned char* at) {
    unsigned char field[bcd::kBcdFieldMax] = {};
    const short code = bcd::Double_to_Bcd(value, (places & 0x0F) * 256, digits, field);
    if (code != TAV_OK) p.nStatus = code;
    std::memcpy(at, field, 1 + static_cast<std::size_t>(digits) / 2);
}

// Packs one point into its line image; a failed conversion is noted in the
// point's status and packing goes on.
void pack_point(const ItiVvDatSet* set, ItiVvDatPoint& p, unsigned char* image) {
    std::memset(image, 0, kImageSize);
    image[0] = static_cast<unsigned char>(p.nMTiming * 32 + p.nMValid * 16 + p.nStepMode * 2 + p.nCmdMode);
    pack_field(p, p.dStopPos, set->wStopPosDp, 10, image + 1);
    pack_field(p, p.dSpeed, 2, 6, image + 7);
    pack_field(p, p.dStopTimer, set->wStopTimeDp + 2, 6, image + 11);
    image[15] = static_cast<unsigned char>(p.nMCode & 0xFF);
    pack_field(p, p.dAccelTime, kTimePlaces, 6, image + 16);
    pack_field(p, p.dDecelTime, kTimePlaces, 6, image + 20);
}

void decode_point(const ItiVvDatSet* set, const unsigned char* image, int no, ItiVvDatPoint& p) {
    p.nDataNo = no;
    p.nChgFlag = 0;
    p.nStatus = 0;
    if (image[0] & 0x80) {
        // Faulty memory on the amplifier: safe defaults, the read goes on.
        p.nCmdMode = 1;
        p.nStepMode = 0;
        p.dStopPos = 0.0;
        p.dSpeed = 0.01;
        p.dAccelTime = p.dDecelTime = 0.0;
        p.dStopTimer = 0.0;
        p.nMCode = 0xFF;
        p.nMValid = 0;
        p.nMTiming = 0;
        p.nStatus = TAV_E_MEMORY_ERROR;
        return;
    }
    p.nCmdMode = image[0] & 0x01;
    p.nStepMode = (image[0] >> 1) & 0x03;
    p.nMValid = (image[0] >> 4) & 0x01;
    p.nMTiming = (image[0] >> 5) & 0x01;
    // Read through a local: the packed point's doubles may sit anywhere.
    auto field = [&](const unsigned char* at, int digits, int places) {
        double v = 0.0;
        const short code = iti::read_bcd(at, digits, places, &v);
        if (code != TAV_OK) p.nStatus = code;
        return v;
    };
    p.dStopPos = field(image + 1, 10, set->wStopPosDp);
    p.dSpeed = field(image + 7, 6, 2);
    p.dStopTimer = field(image + 11, 6, set->wStopTimeDp + 2);
    p.dAccelTime = field(image + 16, 6, kTimePlaces);
    p.dDecelTime = field(image + 20, 6, kTimePlaces);
    p.nMCode = image[15];
}

// One point sent alone after its block failed the status check.
short retry_point(int station, const ItiVvDatSet* set, ItiVvDatPoint& p, int no, short* overall) {
    // "**リトライです****************"
    frame::tracef("**\x83\x8a\x83\x67\x83\x89\x83\x43\x82\xc5\x82\xb7****************");
    unsigned char image[kImageSize];
    pack_point(set, p, image);
    unsigned char reply[kReplySize] = {};
    const short code = comm::wyn().Wyn_PlaceDat_Wt3(station, 1, point_bcd(no), kImageSize, image, reply);
    if (code != TAV_OK) return code;
    const short str = comm::Wyn_STR_ERR_Chk(reply);
    if (str == TAV_OK) {
        p.nChgFlag = 0;
        p.nStatus = 0;
    } else {
        p.nStatus = str;
        *overall = str;
    }
    return TAV_OK;
}

// Announce, identification image, the points, close: each step only after
// the one before returned 0.
short framed_write(int station, const char* ampText, int writeAll, ItiVvDatSet* set) {
    static const unsigned char kZeros[100] = {};
    short code = framing(station, kFramingKind, 0, 0, 0, 0, kZeros);
    if (code != TAV_OK) return code;
    unsigned char image[15];
    identification_image(*set, image);
    code = framing(station, kIdentKind, 0, 1, 4, sizeof image, image);
    if (code != TAV_OK) return code;
    code = AmpWt(ampText, writeAll, set);
    if (code != TAV_OK) return code;
    return framing(station, kFramingKind, 0, 1, 0, 0, kZeros);
}

// Station 0 must answer as the servo operator before anything is written.
short check_operator() {
    unsigned char rec[17] = {};
    const short code = comm::wyn().Wyn_SysCondition_Rd(0, sizeof rec, rec);
    if (code != TAV_OK) return code;
    return rec[4] == kOperatorFamily ? TAV_OK : TAV_E_NOT_OPERATOR;
}

}  // namespace

void set_decimal_param_finder(iti::DecimalParamFinder finder) { g_finder = finder; }

void identification_image(const ItiVvDatSet& s, unsigned char image[15]) {
    std::memset(image, 0, 15);
    const uint32_t bytes[12] = {static_cast<uint32_t>(s.nModel), s.nFamily, s.byInfo1, s.byInfo3, s.byInfo2,
                                s.byInfo5, s.byInfo10, s.byInfo11, s.byInfo12, s.byInfo14, s.nInterface,
                                s.byInfo8};
    for (int i = 0; i < 12; ++i) image[1 + i] = static_cast<unsigned char>(bytes[i] & 0xFF);
}

// ------------------------------------------------------------------ reading
short AmpRd(const char* ampText, ItiVvDatSet* set) {
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

    iti::BlockWalker blocks(n, kPointsPerBlock, [](int) { return true; });
    int first = 0, inBlock = 0;
    while (blocks.next(&first, &inBlock)) {
        unsigned char reply[kReplySize] = {};
        const short result = comm::wyn().Wyn_PlaceDat_Rd3(station, inBlock, point_bcd(first), kReplySize, reply);
        set->nProgressDone += inBlock;
        if (set->nCancel == TAV_E_CANCELLED) return TAV_E_CANCELLED;
        const short str = result != TAV_OK ? result : comm::Wyn_STR_ERR_Chk(reply);
        if (str != TAV_OK) return str;
        for (int i = 0; i < inBlock; ++i)
            decode_point(set, reply + 2 + i * kImageSize, first + i, set->point[first - 1 + i]);
    }

    char date[100] = {}, time[100] = {};
    tavplat::local_date(date, sizeof date);
    tavplat::local_time(time, sizeof time);
    tavplat::format_text(set->szReadDate, sizeof set->szReadDate, "%s - %s", date, time);
    if (comm::wyn().GetKbType() != 0)
        tavplat::copy_text(set->szAmpNo, "000");
    else
        tavplat::format_text(set->szAmpNo, sizeof set->szAmpNo, "%03d", station);
    return TAV_OK;
}

short ComRd(const char* fileName, const char* ampText, ItiVvDatSet* set) {
    if (ampText == nullptr) {
        const short code = DatFil_Rd(fileName, set);
        finish_progress(set, code);
        return code;
    }
    set->nProgressTotal = 0;
    set->nProgressDone = 0;
    frame::CheckDiagnosticMarkersWithProbe();
    DecimalParams dp;
    if (lookup(&dp) != TAV_OK) return 1;
    LineSettings settings{};
    line::Set_Rd(&settings);  // read as the positioning read does; its result does not matter here

    const int number = std::atoi(ampText);
    int target = 0;
    short code = target_station(&target);
    if (code != TAV_OK) {
        finish_progress(set, code);
        return code;
    }
    char ampNo[sizeof set->szAmpNo];
    tavplat::format_text(ampNo, sizeof ampNo, "%03d", number);
    {
        LineSession session;
        code = session.open();
        unsigned char rec[17] = {};
        if (code == TAV_OK && comm::wyn().Wyn_SysCondition_Rd(0, sizeof rec, rec) == TAV_OK &&
            rec[4] != kOperatorFamily)
            return TAV_E_NOT_OPERATOR;  // at once, without the bookkeeping
        if (code == TAV_OK) {
            std::memset(rec, 0, sizeof rec);
            code = comm::wyn().Wyn_SysCondition_Rd(number, sizeof rec, rec);
        }
        if (code == TAV_OK && rec[4] != kKesta7 && rec[4] != kKesta7Mini) code = TAV_E_NOT_OPERATOR;
        if (code == TAV_OK && (rec[3] != 0 || rec[13] != 0)) code = TAV_E_NOT_VV_TYPE;
        unsigned pos = 0, time = 0;
        if (code == TAV_OK) code = read_decimal_direct(number, &pos, &time);
        if (code == TAV_OK) {
            tavplat::copy_text(set->szAmpNo, ampNo);
            set->szFileName[0] = '\0';
            set->nModel = rec[3];
            set->nFamily = rec[4];
            set->byInfo1 = rec[5];
            set->byInfo3 = rec[6];
            set->byInfo2 = rec[7];
            set->byInfo5 = rec[8];
            set->byInfo10 = rec[9];
            set->byInfo11 = rec[10];
            set->nInfoWord = static_cast<int16_t>(rec[11] | (rec[12] << 8));
            set->byInfo12 = rec[11];
            set->byInfo14 = rec[12];
            set->nInterface = rec[13];
            set->byInfo8 = rec[14];
            set->byInfo9 = 3;
            set->nPointCount = kMaxPoints;
            set->nColumnCount = kColumns;
            set->wStopPosDp = static_cast<uint16_t>(pos);
            set->wStopTimeDp = static_cast<uint16_t>(time);
            code = AmpRd(ampText, set);
        }
    }
    finish_progress(set, code);
    return code;
}

// ------------------------------------------------------------------ writing
short AmpWt(const char* /*ampText*/, int writeAll, ItiVvDatSet* set) {
    const int n = point_count(set);
    int total = 0;
    for (int i = 0; i < n; ++i)
        if (to_send(set->point[i], writeAll)) ++total;
    set->nProgressTotal = writeAll != 0 ? set->nPointCount : total;
    int station = 0;
    short code = line::TargetAmpKyoku_Rd(&station);
    if (code != TAV_OK) return code;

    short overall = TAV_OK;
    iti::BlockWalker blocks(n, kPointsPerBlock, [&](int no) { return to_send(set->point[no - 1], writeAll); });
    int first = 0, count = 0;
    while (blocks.next(&first, &count)) {
        unsigned char data[kPointsPerBlock * kImageSize];
        for (int i = 0; i < count; ++i) pack_point(set, set->point[first - 1 + i], data + i * kImageSize);
        unsigned char reply[kReplySize] = {};
        const short result =
            comm::wyn().Wyn_PlaceDat_Wt3(station, count, point_bcd(first), count * kImageSize, data, reply);
        set->nProgressDone += count;
        if (result == 12) {
            // "Wyn_PlaceDat_Wt3()でデータサイズエラー発生"
            frame::tracef("Wyn_PlaceDat_Wt3()\x82\xc5\x83\x66\x81\x5b\x83\x5e\x83\x54\x83\x43\x83\x59\x83\x47\x83\x89"
                          "\x81\x5b\x94\xad\x90\xb6");
            const short str = comm::Wyn_STR_ERR_Chk(reply);
            return str != TAV_OK ? str : result;
        }
        if (result != TAV_OK) return result;
        if (set->nCancel == TAV_E_CANCELLED) return TAV_E_CANCELLED;
        if (comm::Wyn_STR_ERR_Chk(reply) == TAV_OK) {
            for (int i = 0; i < count; ++i) {
                set->point[first - 1 + i].nChgFlag = 0;
                set->point[first - 1 + i].nStatus = 0;
            }
            continue;
        }
        for (int i = 0; i < count; ++i)
            if (retry_point(station, set, set->point[first - 1 + i], first + i, &overall) != TAV_OK) break;
    }
    return overall;
}

short ComWt(const char* fileName, const char* ampText, int writeAll, ItiVvDatSet* set) {
    if (ampText == nullptr) {
        short code;
        {
            frame::PrintFormScope printForm;
            code = DatFil_Wt(fileName, set);
        }
        finish_progress(set, code);
        return code;
    }
    const int n = point_count(set);
    set->nProgressTotal = 0;
    set->nProgressDone = 0;
    for (int i = 0; i < n; ++i) set->point[i].nStatus = 0;
    frame::CheckDiagnosticMarkersWithProbe();

    bool anyChanged = false;
    for (int i = 0; i < n; ++i) {
        ItiVvDatPoint& p = set->point[i];
        if (p.nChgFlag != 0) anyChanged = true;
        if (to_send(p, writeAll) && !in_range(set, p)) {
            p.nStatus = TAV_E_RANGE;
            finish_progress(set, TAV_E_RANGE);
            return TAV_E_RANGE;
        }
    }
    if ((writeAll == 0 && !anyChanged) || n == 0) {
        finish_progress(set, TAV_E_NOTHING_TO_SEND);
        return TAV_E_NOTHING_TO_SEND;
    }
    DecimalParams dp;
    if (lookup(&dp) != TAV_OK) return 1;
    int target = 0;
    short code = target_station(&target);
    if (code == TAV_OK) {
        LineSession session;
        code = session.open();
        if (code == TAV_OK) code = check_operator();
        // The amplifier's type and decimal points are not compared on this path.
        if (code == TAV_OK) code = framed_write(std::atoi(ampText), ampText, writeAll, set);
    }
    finish_progress(set, code);
    return code;
}

short InitWt(ItiVvDatSet* set) {
    const int n = point_count(set);
    set->nProgressTotal = 0;
    set->nProgressDone = 0;
    for (int i = 0; i < n; ++i) set->point[i].nStatus = 0;
    frame::CheckDiagnosticMarkersWithProbe();
    DecimalParams dp;
    if (lookup(&dp) != TAV_OK) return 1;

    // No range check: every point goes with the values it holds.
    char ampText[sizeof set->szAmpNo + 1] = {};
    std::memcpy(ampText, set->szAmpNo, sizeof set->szAmpNo);  // the host's text may fill its field
    int target = 0;
    short code = target_station(&target);
    if (code == TAV_OK) {
        LineSession session;
        code = session.open();
        if (code == TAV_OK) code = check_operator();
        if (code == TAV_OK) code = framed_write(std::atoi(ampText), ampText, 1, set);
    }
    finish_progress(set, code);
    return code;
}

// ------------------------------------------------------- decimal settings
short Att_AmpRd(const char* ampText, unsigned short* stopPosDp, unsigned short* stopTimeDp) {
    int target = 0;
    short code = line::TargetAmpKyoku_Rd(&target);
    if (code != TAV_OK) return code;
    DecimalParams dp;
    if (lookup(&dp) != TAV_OK) return 1;

    LineSession session;
    code = session.open();
    if (code != TAV_OK) return code;
    // Unlike the positioning table, everything here goes to the target station.
    unsigned char rec[17] = {};
    code = comm::wyn().Wyn_SysCondition_Rd(target, sizeof rec, rec);
    if (code != TAV_OK) return code;
    if (rec[3] != 0 || rec[13] != 0) code = TAV_E_NOT_VV_TYPE;
    if (rec[4] != kOperatorFamily) code = TAV_E_NOT_OPERATOR;  // checked second: its -22 wins
    if (code != TAV_OK) return code;
    unsigned pos = 0, time = 0;
    code = read_decimal_params(target, dp, &pos, &time);
    if (code != TAV_OK) return code;
    *stopPosDp = static_cast<unsigned short>(pos);
    *stopTimeDp = static_cast<unsigned short>(time);
    return TAV_OK;
}

}  // namespace tav::itivv
