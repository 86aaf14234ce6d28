// Until the line is implemented every line operation answers "not connected".
#include "wynapi/wynapi.h"

#define NC return WYN_E_NOT_CONNECTED
extern "C" {
WYN_API short Wyn_Net_Open(const WynLineSettings*) { NC; }
WYN_API short Wyn_Net_Close(void) { NC; }
WYN_API short Wyn_SysCondition_Rd(int, int, unsigned char*) { NC; }
WYN_API short Wyn_Status_Rd(int, unsigned char*) { NC; }
WYN_API short Wyn_PlaceCondition_Rd(int, int, unsigned char*) { NC; }
WYN_API short Wyn_PlaceMotion_Run(int, unsigned int, unsigned char*) { NC; }
WYN_API short Wyn_Place_Cancel(int, unsigned char*) { NC; }
WYN_API short Wyn_ManuPluse_Snd(int, unsigned char*) { NC; }
WYN_API short Wyn_ManuMinus_Snd(int, unsigned char*) { NC; }
WYN_API short Wyn_Run_On(int, unsigned char*) { NC; }
WYN_API short Wyn_Run_Off(int, unsigned char*) { NC; }
WYN_API short Wyn_Online_Chg(int, unsigned char*) { NC; }
WYN_API short Wyn_Offline_Set(int, unsigned char*) { NC; }
WYN_API short Wyn_ManuSpeed_Sel(int, int, unsigned char*) { NC; }
WYN_API short Wyn_StdPara_Rd(int, int, unsigned int, int, unsigned char*) { NC; }
WYN_API short Wyn_StdParaTbl_Rd(int, int, unsigned int, int, unsigned char*) { NC; }
WYN_API short Wyn_SysPara_Rd(int, int, unsigned int, int, unsigned char*) { NC; }
WYN_API short Wyn_SysParaTbl_Rd(int, int, unsigned int, int, unsigned char*) { NC; }
WYN_API short Wyn_StdPara_Wt(int, int, unsigned int, int, const unsigned char*, unsigned char*) { NC; }
WYN_API short Wyn_SysPara_Wt(int, int, unsigned int, int, const unsigned char*, unsigned char*) { NC; }
WYN_API short Wyn_Para_Rd2(int, int, int, int, unsigned char*) { NC; }
WYN_API short Wyn_Para_Wt2(int, int, int, int, const unsigned char*, unsigned char*) { NC; }
WYN_API short Wyn_PlaceDat_Rd2(int, int, unsigned int, int, unsigned char*) { NC; }
WYN_API short Wyn_PlaceDat_Rd3(int, int, unsigned int, int, unsigned char*) { NC; }
WYN_API short Wyn_PlaceDat_Wt2(int, int, unsigned int, int, const unsigned char*, unsigned char*) { NC; }
WYN_API short Wyn_PlaceDat_Wt3(int, int, unsigned int, int, const unsigned char*, unsigned char*) { NC; }
WYN_API intptr_t Wyn_OpenMutex(void) { return 0; }
WYN_API short Wyn_CloseMutex(intptr_t) { return WYN_OK; }
WYN_API short SetFixedHeaderData(unsigned char*, int) { NC; }
WYN_API short CommExecProc(int, const unsigned char*, int, unsigned char*) { NC; }
WYN_API int GetConnectType(void) { return 0; }
WYN_API int GetKbNo(void) { return 0; }
WYN_API int GetKeiroID(void) { return 0; }
WYN_API int GetKbType(void) { return 0; }
WYN_API int GetCmdStsErr(void) { return 0; }
WYN_API short srvTav_Comm_Lock(void) { NC; }
WYN_API short srvTav_Comm_Unlock(void) { NC; }
}
