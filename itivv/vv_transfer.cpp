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
#include "frame/frame.h"
#include "itivv/state.h"
#include "line/direct_access.h"
#include "line/line.h"
#include "platform/platform.h"
#include "sets/sets.h"

namespace tav::itivv {

namespace {

constexpr int kImageSize = 24;       // one VV point on the line
constexpr int kTimePlaces = 1;       // acceleration and deceleration: 0.1 s
constexpr int kNoAmplifier = 999;    // a station-list entry without an amplifier
constexpr unsigned char kOperatorFamily = 0x50;
constexpr unsigned char kKesta7 = 0x30, kKesta7Mini = 0x40;
constexpr unsigned char kWriteCommand = 0x51, kReadCommand = 0x50;
constexpr unsigned char kFramingKind = 0x51, kIdentKind = 2, kPointKind = 7;

// "Wyn_PlaceDat_Wt3()でデータサイズエラー発生"
constexpr char kSizeErrorTrace[] =
    "Wyn_PlaceDat_Wt3()\x82\xc5\x83\x66\x81\x5b\x83\x5e\x83\x54\x83\x43\x83\x59\x83\x47\x83\x89"
    "\x81\x5b\x94\xad\x90\xb6";

// VV points travel as 24-byte images through Wyn_PlaceDat_Rd3/Wt3, without a
// progress percentage or the trace dump of the positioning table.
constexpr iti::PointLine kPointLine = {iti::PlaceDat::Rd3Wt3, kImageSize, false, false, kSizeErrorTrace};

// The current target station; a list entry without an amplifier gives -19.
short target_station(int* station) {
    const short code = line::TargetAmpKyoku_Rd(station);
    if (code != TAV_OK) return code;
    return *station == kNoAmplifier ? TAV_E_STATION : TAV_OK;
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

// The positioning table's ranges, and the two times.
bool in_range(const ItiVvDatSet* set, int index) {
    const ItiVvDatPoint& p = set->point[index];
    return iti::point_in_range(set, p) && p.dAccelTime >= 0.0 && p.dAccelTime <= 99999.9 &&
           p.dDecelTime >= 0.0 && p.dDecelTime <= 99999.9;
}

// The positioning image, and the two times after it.
void pack_point(ItiVvDatSet* set, int index, unsigned char* image) {
    ItiVvDatPoint& p = set->point[index];
    std::memset(image, 0, kImageSize);
    iti::pack_point_values(set, p, image);
    short code = iti::write_bcd(p.dAccelTime, 6, kTimePlaces, image + 16);
    if (code != TAV_OK) p.nStatus = code;
    code = iti::write_bcd(p.dDecelTime, 6, kTimePlaces, image + 20);
    if (code != TAV_OK) p.nStatus = code;
}

void decode_point(ItiVvDatSet* set, int index, const unsigned char* image) {
    ItiVvDatPoint& p = set->point[index];
    if (!iti::decode_point_values(set, image, index + 1, p)) {
        p.dAccelTime = p.dDecelTime = 0.0;  // a faulty point also loses its times
        return;
    }
    // Read through a local: the packed point's doubles may sit anywhere.
    double v = 0.0;
    short code = iti::read_bcd(image + 16, 6, kTimePlaces, &v);
    p.dAccelTime = v;
    if (code != TAV_OK) p.nStatus = code;
    code = iti::read_bcd(image + 20, 6, kTimePlaces, &v);
    p.dDecelTime = v;
    if (code != TAV_OK) p.nStatus = code;
}

// Announce, identification image, the points, close: each step only after
// the one before returned 0.
short framed_write(int station, const char* ampText, int writeAll, ItiVvDatSet* set) {
    static const unsigned char kZeros[100] = {};
    short code = framing(station, kFramingKind, 0, 0, 0, 0, kZeros);
    if (code != TAV_OK) return code;
    unsigned char image[15];
    sets::identification_image(*set, image);
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

void set_decimal_param_finder(iti::DecimalParamFinder finder) { state().finder = finder; }

// ------------------------------------------------------------------ reading
short AmpRd(const char* ampText, ItiVvDatSet* set) {
    return iti::read_point_blocks(ampText, set, kPointLine, decode_point);
}

short ComRd(const char* fileName, const char* ampText, ItiVvDatSet* set) {
    if (ampText == nullptr) {
        const short code = DatFil_Rd(fileName, set);
        sets::finish_progress(set, code);
        return code;
    }
    set->nProgressTotal = 0;
    set->nProgressDone = 0;
    frame::CheckDiagnosticMarkersWithProbe();
    iti::DecimalParams dp;
    if (iti::lookup_decimal_params(state().finder, &dp) != TAV_OK) return 1;
    LineSettings settings{};
    (void)line::Set_Rd(&settings);  // read as the positioning read does; its result does not matter here

    const int number = std::atoi(ampText);
    int target = 0;
    short code = target_station(&target);
    if (code != TAV_OK) {
        sets::finish_progress(set, code);
        return code;
    }
    char ampNo[sizeof set->szAmpNo];
    tavplat::format_text(ampNo, sizeof ampNo, "%03d", number);
    {
        line::PortSession session;
        code = session.lock_and_open();
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
            iti::header_from_record(set, rec, ampNo, pos, time, kMaxPoints, kColumns);
            code = AmpRd(ampText, set);
        }
    }
    sets::finish_progress(set, code);
    return code;
}

// ------------------------------------------------------------------ writing
short AmpWt(const char* /*ampText*/, int writeAll, ItiVvDatSet* set) {
    return iti::write_point_blocks(writeAll, set, kPointLine, pack_point);
}

short ComWt(const char* fileName, const char* ampText, int writeAll, ItiVvDatSet* set) {
    if (ampText == nullptr) {
        short code;
        {
            frame::PrintFormScope printForm;
            code = DatFil_Wt(fileName, set);
        }
        sets::finish_progress(set, code);
        return code;
    }
    iti::begin_send(set);
    short code = iti::check_points_to_send(set, writeAll, in_range);
    if (code != TAV_OK) return code;
    iti::DecimalParams dp;
    if (iti::lookup_decimal_params(state().finder, &dp) != TAV_OK) return 1;
    int target = 0;
    code = target_station(&target);
    if (code == TAV_OK) {
        line::PortSession session;
        code = session.lock_and_open();
        if (code == TAV_OK) code = check_operator();
        // The amplifier's type and decimal points are not compared on this path.
        if (code == TAV_OK) code = framed_write(std::atoi(ampText), ampText, writeAll, set);
    }
    sets::finish_progress(set, code);
    return code;
}

short InitWt(ItiVvDatSet* set) {
    iti::begin_send(set);
    iti::DecimalParams dp;
    if (iti::lookup_decimal_params(state().finder, &dp) != TAV_OK) return 1;

    // No range check: every point goes with the values it holds.
    char ampText[sizeof set->szAmpNo + 1] = {};
    std::memcpy(ampText, set->szAmpNo, sizeof set->szAmpNo);  // the host's text may fill its field
    int target = 0;
    short code = target_station(&target);
    if (code == TAV_OK) {
        line::PortSession session;
        code = session.lock_and_open();
        if (code == TAV_OK) code = check_operator();
        if (code == TAV_OK) code = framed_write(std::atoi(ampText), ampText, 1, set);
    }
    sets::finish_progress(set, code);
    return code;
}

// ------------------------------------------------------- decimal settings
short Att_AmpRd(const char* ampText, unsigned short* stopPosDp, unsigned short* stopTimeDp) {
    int target = 0;
    short code = line::TargetAmpKyoku_Rd(&target);
    if (code != TAV_OK) return code;
    iti::DecimalParams dp;
    if (iti::lookup_decimal_params(state().finder, &dp) != TAV_OK) return 1;

    line::PortSession session;
    code = session.lock_and_open();
    if (code != TAV_OK) return code;
    // Unlike the positioning table, everything here goes to the target station.
    unsigned char rec[17] = {};
    code = comm::wyn().Wyn_SysCondition_Rd(target, sizeof rec, rec);
    if (code != TAV_OK) return code;
    if (rec[3] != 0 || rec[13] != 0) code = TAV_E_NOT_VV_TYPE;
    if (rec[4] != kOperatorFamily) code = TAV_E_NOT_OPERATOR;  // checked second: its -22 wins
    if (code != TAV_OK) return code;
    unsigned pos = 0, time = 0;
    code = iti::read_decimal_settings(target, dp, &pos, &time);  // by parameter read, unlike ComRd
    if (code != TAV_OK) return code;
    *stopPosDp = static_cast<unsigned short>(pos);
    *stopTimeDp = static_cast<unsigned short>(time);
    return TAV_OK;
}

}  // namespace tav::itivv
