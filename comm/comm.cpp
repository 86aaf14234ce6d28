#include "comm/state.h"

namespace tav::comm {

namespace {

const WynApi kWynapi = {
    ::Wyn_srvTav_FullPath_Get, ::Wyn_Net_Open, ::Wyn_Net_Close, ::Wyn_SysCondition_Rd, ::Wyn_Status_Rd,
    ::Wyn_PlaceCondition_Rd, ::Wyn_PlaceMotion_Run, ::Wyn_Place_Cancel, ::Wyn_ManuPluse_Snd,
    ::Wyn_ManuMinus_Snd, ::Wyn_Run_On, ::Wyn_Run_Off, ::Wyn_Online_Chg, ::Wyn_Offline_Set,
    ::Wyn_ManuSpeed_Sel, ::Wyn_StdPara_Rd, ::Wyn_StdParaTbl_Rd, ::Wyn_SysPara_Rd, ::Wyn_SysParaTbl_Rd,
    ::Wyn_StdPara_Wt, ::Wyn_SysPara_Wt, ::Wyn_Para_Rd2, ::Wyn_Para_Wt2, ::Wyn_PlaceDat_Rd2,
    ::Wyn_PlaceDat_Rd3, ::Wyn_PlaceDat_Wt2, ::Wyn_PlaceDat_Wt3, ::Wyn_OpenMutex, ::Wyn_CloseMutex,
    ::SetFixedHeaderData, ::CommExecProc, ::GetConnectType, ::GetKbNo, ::GetKeiroID, ::GetKbType,
    ::GetCmdStsErr, ::srvTav_Comm_Lock, ::srvTav_Comm_Unlock,
};

}  // namespace

const WynApi& wyn() {
    const WynApi* binding = state().binding;
    return binding ? *binding : kWynapi;
}
void set_wyn(const WynApi* api) { state().binding = api; }
const WynApi& wynapi_binding() { return kWynapi; }

short full_path(int id, char* path) { return wyn().Wyn_srvTav_FullPath_Get(id, path); }

}  // namespace tav::comm
