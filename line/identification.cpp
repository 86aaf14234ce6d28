// Identification of a connected amplifier: the 17-byte system-condition
// record and the model, motor and label texts composed from it through the
// catalogue's lookup tables.
#include <cstdio>
#include <cstring>
#include <string>

#include "Tav_acs.h"
#include "comm/comm.h"
#include "frame/frame.h"
#include "line/line.h"
#include "text/text.h"

namespace tav::line {

namespace {

constexpr int kRecordSize = 17;
constexpr int kLookupSize = 80;  // every table row fits in 80 bytes

constexpr unsigned char kKesta7 = 0x30;
constexpr unsigned char kKesta7Mini = 0x40;

// Catalogue tables: row id = base + code byte.
constexpr unsigned kControlType = 3640;
constexpr unsigned kInterfaceA = 3690;
constexpr unsigned kInterfaceB = 3695;
constexpr unsigned kSpeedKesta7 = 5000;
constexpr unsigned kSpeedMini = 12000;
constexpr unsigned kMotorSeries = 5500;
constexpr unsigned kCapacityA = 6000;
constexpr unsigned kCapacityB = 6500;
constexpr unsigned kEncoder = 7000;
constexpr unsigned kVoltage = 7500;
constexpr unsigned kMotorSpeed = 8000;
constexpr unsigned kFamilyName = 11000;
constexpr unsigned kMotor375W = 16004;

// Motor characteristics by motor-series index; beyond the table the largest
// value of each column stands in.
constexpr double kMotorInfo[10][3] = {
    {5000, 300, 100}, {5000, 300, 100}, {2500, 300, 100}, {6000, 300, 300}, {6000, 300, 300},
    {6000, 300, 300}, {3000, 300, 30},  {3000, 300, 30},  {6000, 300, 300}, {6000, 300, 300},
};
constexpr double kMotorInfoMax[3] = {6000, 300, 300};

// The language module stays loaded for the whole composition and is freed on
// every way out.
class Catalogue {
public:
    Catalogue() {
        text::BuildLanguageModule(lm_);
        text::LoadLanguageModule(lm_);
    }
    ~Catalogue() { text::FreeLanguageModule(lm_); }
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    std::string row(unsigned id) const {
        char buf[kLookupSize] = {};
        text::LoadText(lm_, id, buf, sizeof buf);
        return buf;
    }

private:
    text::LanguageModule lm_;
};

// A table row taken apart with the comma-field reader: fields stop at a
// comma, a blank or any byte outside printable ASCII.
struct Row {
    std::string first, second, rest;  // rest: the text after the second comma
    std::string afterFirst;           // the text after the first comma
};

Row split(const std::string& text) {
    Row r;
    char field[kLookupSize] = {};
    const char* p = frame::GetCommaField(text.c_str(), field, sizeof field);
    r.first = field;
    if (p != nullptr) r.afterFirst = p;
    p = frame::GetCommaField(p, field, sizeof field);
    r.second = field;
    if (p != nullptr) r.rest = p;
    return r;
}

void store(char* dst, std::size_t size, const std::string& text) {
    std::snprintf(dst, size, "%s", text.c_str());
}

// The slim 375 W motor has a capacity row of its own; series 2, 6 and 7 take
// capacity table B.
unsigned motor_capacity_row(unsigned series, unsigned voltage, unsigned capacity, unsigned encoder) {
    if (series == 2 || series == 6 || series == 7) return kCapacityB + capacity;
    if (series == 1 && (encoder == 0 || encoder == 2) && capacity == 4 && voltage == 2) return kMotor375W;
    return kCapacityA + capacity;
}

void compose(const Catalogue& cat, const unsigned char* rec, AmpIdentification& out) {
    const unsigned char family = rec[4];
    const bool kesta7 = family == kKesta7;
    const unsigned controlType = rec[3], speed = rec[5], voltage = rec[6], capacity = rec[7];
    const unsigned extCode = rec[8], motorSeries = rec[9], motorVoltage = rec[10];
    const unsigned motorCapacity = rec[11], encoder = rec[12], interfaceCode = rec[13];

    store(out.szFamilyName, sizeof out.szFamilyName, cat.row(kFamilyName + family));

    const unsigned capacityBase = (kesta7 && speed != 0) ? kCapacityB : kCapacityA;
    const Row ampCapacity = split(cat.row(capacityBase + capacity));
    store(out.szAmpCapacity, sizeof out.szAmpCapacity, ampCapacity.second);

    const Row speedRow = split(cat.row((kesta7 ? kSpeedKesta7 : kSpeedMini) + speed));
    const Row control = split(cat.row(kControlType + controlType));
    const Row iface = split(cat.row((controlType == 0 ? kInterfaceA : kInterfaceB) + interfaceCode));

    const Row ampVoltage = split(cat.row(kVoltage + voltage));
    store(out.szAmpVoltage, sizeof out.szAmpVoltage, ampVoltage.second);

    const Row series = split(cat.row(kMotorSeries + motorSeries));
    store(out.szMotorSeries, sizeof out.szMotorSeries, series.rest);

    const Row motorSpeed = split(cat.row(kMotorSpeed + motorSeries));
    store(out.szMotorSpeed, sizeof out.szMotorSpeed, motorSpeed.first);

    const Row motorCap = split(cat.row(motor_capacity_row(motorSeries, motorVoltage, motorCapacity, encoder)));
    store(out.szMotorLabel, sizeof out.szMotorLabel, motorCap.second);

    const Row enc = split(cat.row(kEncoder + encoder));
    store(out.szEncoder, sizeof out.szEncoder, enc.afterFirst);

    const std::string model = std::string(kesta7 ? "QMT " : "QMH ") + ampCapacity.first + speedRow.first + "5 - " +
                              control.first + iface.first + " " + ampVoltage.first;
    store(out.szModelName, sizeof out.szModelName, model);

    const std::string motor = MotorName(motorSeries, motorVoltage, motorCapacity, encoder,
                                        [&cat](unsigned id) { return cat.row(id); });
    store(out.szMotorName, sizeof out.szMotorName, motor);

    std::snprintf(out.szExtCode, sizeof out.szExtCode, "%02X", extCode);
    out.byFamily = family;
}

}  // namespace

short SysCondition_Rd(int station, AmpIdentification* out) {
    if (out == nullptr) return TAV_E_PARAMETER;
    const Catalogue cat;
    unsigned char rec[kRecordSize] = {};
    const short code = comm::wyn().Wyn_SysCondition_Rd(station, kRecordSize, rec);
    if (code != 0) return code;

    AmpIdentification id;
    std::memset(&id, 0, sizeof id);
    // Older families and the servo operator are not named: all texts stay empty.
    if (rec[4] == kKesta7 || rec[4] == kKesta7Mini) compose(cat, rec, id);
    std::memcpy(out, &id, sizeof id);
    return TAV_OK;
}

short OpenTargetAndReadRecord(int* station, unsigned char* record, bool* opened) {
    *opened = false;
    short code = TargetAmpKyoku_Rd(station);
    if (code != 0) return code;
    code = Wyn_Net_Open();
    if (code != 0) return code;
    *opened = true;
    unsigned char rec[kRecordSize] = {};
    code = comm::wyn().Wyn_SysCondition_Rd(*station, kRecordSize, rec);
    if (code == 0) std::memcpy(record, rec, kRecordSize);
    return code;
}

short Open_SysCondition_Rd_Close(SysConditionRecord* record) {
    if (record == nullptr) return TAV_E_PARAMETER;
    int station = 0;
    bool opened = false;
    const short code = OpenTargetAndReadRecord(&station, reinterpret_cast<unsigned char*>(record), &opened);
    // The record is what the caller asked for; a failed close does not undo it.
    if (opened) comm::wyn().Wyn_Net_Close();
    return code;
}

std::string MotorName(unsigned series, unsigned voltage, unsigned capacity, unsigned encoder,
                      const std::function<std::string(unsigned id)>& row) {
    const Row seriesRow = split(row(kMotorSeries + series));
    const Row capacityRow = split(row(motor_capacity_row(series, voltage, capacity, encoder)));
    const std::string enc = split(row(kEncoder + encoder)).first;
    const std::string volt = split(row(kVoltage + voltage)).first;
    std::string motor = seriesRow.second + " " + capacityRow.first + seriesRow.first;
    if (encoder == 8 || encoder == 9) {
        motor += "C2 - " + enc + volt;
    } else if (encoder == 0 || encoder == 2) {
        motor += "C1 - " + enc;
        if (volt == "6") motor += volt;
    } else {
        motor += " 5 - " + enc + "*" + volt;
    }
    return motor;
}

short Motor_Info_Rd(unsigned char index, double* first, double* second, double* third) {
    if (first == nullptr || second == nullptr || third == nullptr) return TAV_E_PARAMETER;
    const double* row = index < 10 ? kMotorInfo[index] : kMotorInfoMax;
    *first = row[0];
    *second = row[1];
    *third = row[2];
    return TAV_OK;
}

}  // namespace tav::line
