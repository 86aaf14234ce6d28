// The library reaches the communication component only through this table, so
// that tests can swap in a recording fake and check the exact sequence of
// exchanges, while the production binding calls libwynapi.so.
#pragma once

#include <cstdint>

#include "wynapi/wynapi.h"

namespace tav::comm {

struct WynApi {
    short (*Wyn_srvTav_FullPath_Get)(int id, char* path);
    short (*Wyn_Net_Open)(const WynLineSettings* settings);
    short (*Wyn_Net_Close)();
    short (*Wyn_SysCondition_Rd)(int station, int size, unsigned char* record);
    short (*Wyn_Status_Rd)(int station, unsigned char* buffer);
    short (*Wyn_PlaceCondition_Rd)(int station, int size, unsigned char* reply);
    short (*Wyn_PlaceMotion_Run)(int station, unsigned int numberBcd, unsigned char* status);
    short (*Wyn_Place_Cancel)(int station, unsigned char* status);
    short (*Wyn_ManuPluse_Snd)(int station, unsigned char* status);
    short (*Wyn_ManuMinus_Snd)(int station, unsigned char* status);
    short (*Wyn_Run_On)(int station, unsigned char* status);
    short (*Wyn_Run_Off)(int station, unsigned char* status);
    short (*Wyn_Online_Chg)(int station, unsigned char* status);
    short (*Wyn_Offline_Set)(int station, unsigned char* status);
    short (*Wyn_ManuSpeed_Sel)(int station, int speed, unsigned char* status);
    short (*Wyn_StdPara_Rd)(int station, int count, unsigned int firstBcd, int size, unsigned char* reply);
    short (*Wyn_StdParaTbl_Rd)(int station, int count, unsigned int firstBcd, int size, unsigned char* reply);
    short (*Wyn_SysPara_Rd)(int station, int count, unsigned int firstBcd, int size, unsigned char* reply);
    short (*Wyn_SysParaTbl_Rd)(int station, int count, unsigned int firstBcd, int size, unsigned char* reply);
    short (*Wyn_StdPara_Wt)(int station, int count, unsigned int firstBcd, int dataLen,
                            const unsigned char* data, unsigned char* status);
    short (*Wyn_SysPara_Wt)(int station, int count, unsigned int firstBcd, int dataLen,
                            const unsigned char* data, unsigned char* status);
    short (*Wyn_Para_Rd2)(int station, int count, int first, int size, unsigned char* reply);
    short (*Wyn_Para_Wt2)(int station, int count, int first, int dataLen, const unsigned char* data,
                          unsigned char* status);
    short (*Wyn_PlaceDat_Rd2)(int station, int count, unsigned int firstBcd, int size, unsigned char* reply);
    short (*Wyn_PlaceDat_Rd3)(int station, int count, unsigned int firstBcd, int size, unsigned char* reply);
    short (*Wyn_PlaceDat_Wt2)(int station, int count, unsigned int firstBcd, int dataLen,
                              const unsigned char* data, unsigned char* status);
    short (*Wyn_PlaceDat_Wt3)(int station, int count, unsigned int firstBcd, int dataLen,
                              const unsigned char* data, unsigned char* status);
    intptr_t (*Wyn_OpenMutex)();
    short (*Wyn_CloseMutex)(intptr_t handle);
    short (*SetFixedHeaderData)(unsigned char* frame, int station);
    short (*CommExecProc)(int kind, const unsigned char* frame, int length, unsigned char* reply);
    int (*GetConnectType)();
    int (*GetKbNo)();
    int (*GetKeiroID)();
    int (*GetKbType)();
    int (*GetCmdStsErr)();
    short (*srvTav_Comm_Lock)();
    short (*srvTav_Comm_Unlock)();
};

// The binding in use: libwynapi.so unless a test installed another one.
const WynApi& wyn();
// Installs a binding (tests); null restores libwynapi.so.
void set_wyn(const WynApi* api);
// The production binding, for fakes that forward part of the calls.
const WynApi& wynapi_binding();

// Resolves a path id into a TAV_PATH_MAX buffer; the component's code.
short full_path(int id, char* path);

}  // namespace tav::comm
