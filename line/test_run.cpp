// Test-run commands on one amplifier: online/offline, run on/off with a
// manual speed, jog, positioning start and cancel, and the live status.
// All but the online/offline switch work on a line the host has opened.
#include <cstdio>
#include <cstring>

#include "Tav_acs.h"
#include "bcd/bcd.h"
#include "comm/comm.h"
#include "frame/frame.h"
#include "line/direct_access.h"
#include "line/line.h"
#include "text/text.h"

namespace tav::line {

namespace {

constexpr unsigned kReadyFlag = 0x02;    // STR1 bit 1: a positioning run may start
constexpr unsigned kOfflineFlag = 0x04;  // STR1 bit 2
constexpr unsigned kRunError = 0x80;     // positioning status byte 3 bit 7

constexpr int kPlaceReplySize = 100;
// The component writes two status bytes; the spare room keeps a larger
// answer from reaching past our buffer.
constexpr int kStatusBuffer = 32;

constexpr unsigned kCmdModeBase = 500;   // message of -(500 + method) is label 3500 + method
constexpr unsigned kStepModeLabel = 3510;

struct Status {
    unsigned char bytes[kStatusBuffer] = {};
};

void copy_status(const Status& s, unsigned char* out) {
    if (out != nullptr) std::memcpy(out, s.bytes, 2);
}

// A sent command: its communication code, or the STR1 check when it went through.
short checked(short code, const Status& s) {
    return code != 0 ? code : comm::Wyn_STR_ERR_Chk(s.bytes);
}

void copy_text(char* dst, std::size_t size, const char* src) {
    std::snprintf(dst, size, "%s", src);
}

// One value of the positioning status in print form, with its own header as
// the format code.
void print_value(const unsigned char* field, int digits, double* value, char* text, std::size_t size) {
    *value = 0.0;
    bcd::Bcd_to_Double(field, digits, value);
    char buf[bcd::kTextMax] = {};
    {
        frame::PrintFormScope printForm;
        const int code = static_cast<int>(field[0] & 0xF0u) << 4;
        bcd::Double_to_Char(*value, code, digits, buf);
    }
    copy_text(text, size, buf);
}

}  // namespace

short Status_Rd(int station, unsigned char* status, int* ready) {
    if (status == nullptr || ready == nullptr) return TAV_E_PARAMETER;
    Status s;
    const short code = comm::wyn().Wyn_Status_Rd(station, s.bytes);
    if (code == 0) {
        copy_status(s, status);
        *ready = (s.bytes[0] & kReadyFlag) ? 1 : 0;
    }
    return code;
}

short PlaceRunOff(int station, int number, int mode, unsigned char* status, int* ready) {
    if (status == nullptr || ready == nullptr) return TAV_E_PARAMETER;
    if (mode == 1 && (number < 1 || number > 99)) return TAV_E_START_NUMBER;

    const comm::WynApi& w = comm::wyn();
    Status s;
    short code = w.Wyn_Status_Rd(station, s.bytes);
    *ready = (s.bytes[0] & kReadyFlag) ? 1 : 0;
    if (code != 0) return code;

    if (mode == 1) {
        if (*ready == 0) {
            // Not ready: the host learns why from the status just read.
            code = comm::Wyn_STR_ERR_Chk(s.bytes);
        } else {
            unsigned int bcdNumber = 0;
            bcd::int_to_Bcd(number, &bcdNumber);
            code = checked(w.Wyn_PlaceMotion_Run(station, bcdNumber, s.bytes), s);
        }
    } else {
        code = checked(w.Wyn_Place_Cancel(station, s.bytes), s);
    }
    copy_status(s, status);
    return code;
}

short ManuPluse_Snd(int station, int direction, unsigned char* status) {
    if (status == nullptr) return TAV_E_PARAMETER;
    const comm::WynApi& w = comm::wyn();
    Status s;
    const short code = direction == 1 ? w.Wyn_ManuPluse_Snd(station, s.bytes) : w.Wyn_ManuMinus_Snd(station, s.bytes);
    copy_status(s, status);
    return checked(code, s);
}

short RunOnOFF_ManuSpeedSel(int station, int on, int speed, unsigned char* status) {
    if (status == nullptr) return TAV_E_PARAMETER;
    const comm::WynApi& w = comm::wyn();
    Status s;
    short code = 0;
    if (on == 1) {
        code = checked(w.Wyn_Run_On(station, s.bytes), s);
        // The speed is chosen only once the amplifier has accepted run on.
        if (code == 0) code = checked(w.Wyn_ManuSpeed_Sel(station, speed, s.bytes), s);
    } else {
        code = checked(w.Wyn_Run_Off(station, s.bytes), s);
    }
    copy_status(s, status);
    return code;
}

short Open_OffONline_Close(int mode, unsigned char* record) {
    if (record == nullptr) return TAV_E_PARAMETER;
    int station = 0;
    bool opened = false;
    short code = OpenTargetAndReadRecord(&station, record, &opened);
    if (!opened) return code;

    const comm::WynApi& w = comm::wyn();
    if (code == 0) {
        const bool offline = (record[0] & kOfflineFlag) != 0;
        Status s;
        if (mode == 0) {
            if (!offline) {
                code = checked(w.Wyn_Offline_Set(station, s.bytes), s);
                copy_status(s, record);
            }
        } else if (mode == 1) {
            if (offline) {
                code = checked(w.Wyn_Online_Chg(station, s.bytes), s);
                copy_status(s, record);
            }
        } else {
            code = TAV_E_PARAMETER;
        }
    }
    // The switch's own result is what the host needs; a failed close adds nothing.
    w.Wyn_Net_Close();
    return code;
}

short ItiDatRunStatus_Rd(int station, PositioningRunStatus* out) {
    if (out == nullptr) return TAV_E_PARAMETER;
    unsigned char reply[kPlaceReplySize] = {};
    const short code = comm::wyn().Wyn_PlaceCondition_Rd(station, kPlaceReplySize, reply);
    if (code != 0) return code;
    if (reply[3] & kRunError) return TAV_E_RUN_ERROR;

    PositioningRunStatus r;
    std::memset(&r, 0, sizeof r);
    r.byDataNo = reply[2];
    std::snprintf(r.szDataNo, sizeof r.szDataNo, "%2x", static_cast<unsigned>(reply[2]));

    const int method = reply[3] & 0x01;
    r.nCmdMode = method;
    text::ErrString_Get(-static_cast<int>(kCmdModeBase) - method, sizeof r.szCmdMode, r.szCmdMode);

    const int step = (reply[3] >> 1) & 0x07;
    r.nStepMode = step;
    text::LoadText(kStepModeLabel + static_cast<unsigned>(step), r.szStepMode, sizeof r.szStepMode);

    double value = 0.0;
    print_value(reply + 4, 8, &value, r.szValue1, sizeof r.szValue1);
    r.dValue1 = value;
    print_value(reply + 9, 6, &value, r.szValue2, sizeof r.szValue2);
    r.dValue2 = value;
    print_value(reply + 13, 8, &value, r.szValue3, sizeof r.szValue3);
    r.dValue3 = value;

    r.nCode = reply[18];
    std::snprintf(r.szCode, sizeof r.szCode, "%4x", static_cast<unsigned>(reply[18]));
    std::memcpy(out, &r, sizeof r);
    return TAV_OK;
}

}  // namespace tav::line
