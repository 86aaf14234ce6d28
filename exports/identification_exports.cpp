// C entries of identification, test run and direct amplifier access.
#include "Tav_acs.h"
#include "exports/guard.h"
#include "line/direct_access.h"
#include "line/line.h"

using tav::exports::guarded;

extern "C" {

// ------------------------------------------------------------ identification
TAV_API short srvTav_SysCondition_Rd(int station, AmpIdentification* out) {
    if (out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::SysCondition_Rd(station, out); });
}

TAV_API short srvTav_Open_SysCondition_Rd_Close(SysConditionRecord* record) {
    if (record == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::Open_SysCondition_Rd_Close(record); });
}

TAV_API short srvTav_Motor_Info_Rd(unsigned char index, double* first, double* second, double* third) {
    if (first == nullptr || second == nullptr || third == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::Motor_Info_Rd(index, first, second, third); });
}

// ------------------------------------------------------------------ test run
TAV_API short srvTav_Status_Rd(int station, unsigned char* status, int* ready) {
    if (status == nullptr || ready == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::Status_Rd(station, status, ready); });
}

TAV_API short srvTav_PlaceRunOff(int station, int number, int mode, unsigned char* status, int* ready) {
    if (status == nullptr || ready == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::PlaceRunOff(station, number, mode, status, ready); });
}

TAV_API short srvTav_ManuPluse_Snd(int station, int direction, unsigned char* status) {
    if (status == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::ManuPluse_Snd(station, direction, status); });
}

TAV_API short srvTav_RunOnOFF_ManuSpeedSel(int station, int on, int speed, unsigned char* status) {
    if (status == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::RunOnOFF_ManuSpeedSel(station, on, speed, status); });
}

TAV_API short srvTav_Open_OffONline_Close(int mode, unsigned char* record) {
    if (record == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::Open_OffONline_Close(mode, record); });
}

TAV_API short srvTav_ItiDatRunStatus_Rd(int station, PositioningRunStatus* out) {
    if (out == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::line::ItiDatRunStatus_Rd(station, out); });
}

// ------------------------------------------------------------- direct access
TAV_API short srvTav_Wyn_STR_ERR_Chk(const unsigned char* status) {
    if (status == nullptr) return TAV_E_PARAMETER;
    return guarded([&] { return tav::comm::Wyn_STR_ERR_Chk(status); });
}

TAV_API short srvTav_Wyn_General_Acs(unsigned char station, unsigned char command, unsigned char mode,
                                     unsigned char memoryKind, unsigned char addressLow,
                                     unsigned char addressMiddle, unsigned char addressHigh, int dataLength,
                                     const unsigned char* data, unsigned short replyLength,
                                     unsigned char* reply) {
    return guarded([&] {
        return tav::comm::Wyn_General_Acs(station, command, mode, memoryKind, addressLow, addressMiddle,
                                          addressHigh, dataLength, data, replyLength, reply);
    });
}

TAV_API short srvTav_Wyn_Primitive_Acs(int station, unsigned char command, unsigned char mode,
                                       unsigned char memoryKind, unsigned char addressLow,
                                       unsigned char addressMiddle, unsigned char addressHigh,
                                       int firstLength, const unsigned char* firstData, int secondLength,
                                       const unsigned char* secondData, unsigned short replyLength,
                                       unsigned char* reply) {
    return guarded([&] {
        return tav::comm::Wyn_Primitive_Acs(station, command, mode, memoryKind, addressLow, addressMiddle,
                                            addressHigh, firstLength, firstData, secondLength, secondData,
                                            replyLength, reply);
    });
}

}  // extern "C"
