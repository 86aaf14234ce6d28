/*
 * wynapi: the communication component of the servo line.
 *
 * Every operation returns a 16-bit code: 0, or a positive communication code
 * (its message is string 4000 + code of the library's catalogue):
 *
 *   1  the device cannot be opened         9  parity error
 *   2  time-out                           10  not connected (line not open)
 *   3  retries exhausted                  12  data size error
 *   4  already open                       16.. the device's processing status
 *   5  line closed                        20  unknown path id (path service)
 *   6  communication error                21  path does not fit the buffer
 *   7  data error (bad argument/buffer)
 *
 * Status buffers receive STR1 and STR2 in their first two bytes. A station is
 * 0 (the servo operator) .. 248. Parameter and point numbers marked "BCD" are
 * passed packed as srvTav_int_to_Bcd makes them (12 -> 0x12).
 */
#ifndef WYNAPI_H
#define WYNAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(WYN_BUILDING_LIBRARY)
#define WYN_API __attribute__((visibility("default")))
#else
#define WYN_API
#endif

#define WYN_PATH_MAX 260

#define WYN_OK                0
#define WYN_E_OPEN            1
#define WYN_E_TIMEOUT         2
#define WYN_E_RETRY           3
#define WYN_E_ALREADY_OPEN    4
#define WYN_E_CLOSED          5
#define WYN_E_COMM            6
#define WYN_E_DATA            7
#define WYN_E_PARITY          9
#define WYN_E_NOT_CONNECTED  10
#define WYN_E_DATA_SIZE      12
#define WYN_E_PATH_ID        20
#define WYN_E_PATH_LENGTH    21

/* The line settings record read from servo.set: 372 bytes, little-endian
 * 32-bit integers, byte-packed (same layout as the library's LineSettings). */
#pragma pack(push, 1)
typedef struct WynLineSettings {
    int32_t nModel;        /* 0   model of the edited amplifier */
    int32_t nPort;         /* 4   0 = COM1 .. 8 = COM9 */
    int32_t nBaud;         /* 8   0 9600, 1 19200, 2 38400, 3 2400, 4 4800, 5 57600, 6 115200 */
    int32_t nRetry;        /* 12  retries of an exchange */
    int32_t nTimeOut;      /* 16  time-out unit, see docs/protocol.md */
    int32_t nDataBits;     /* 20 */
    int32_t nParity;       /* 24  0 none, 1 odd, 2 even, 3 mark, 4 space */
    int32_t nStopBits;     /* 28  0 one, 1 one and a half, 2 two */
    int32_t nFlow;         /* 32  bit 0: XON/XOFF */
    int32_t nModelValue1;  /* 36 */
    int32_t nModelValue2;  /* 40 */
    int32_t nModelValue3;  /* 44 */
    int32_t nLine6;        /* 48 */
    int32_t nLine7;        /* 52 */
    int32_t nLine8;        /* 56 */
    char szText1[150];     /* 60 */
    char szText2[150];     /* 210 */
    int32_t nLine11;       /* 360 */
    int32_t nLine12;       /* 364 */
    int32_t nTenth;        /* 368 */
} WynLineSettings;
#pragma pack(pop)

/* ---------------------------------------------------------- path service */
/* Resolves a path id to a file below $WYN_HOME (see design of the
 * installation folder); path receives WYN_PATH_MAX bytes at most. When
 * $WYN_DEF_HOME is set and not empty, the definition ids (500-799,
 * 1500-1699) resolve below that installation instead, through its own
 * wyn.ini [Paths]: the servo operator's and the amplifiers' definitions
 * share those ids, so each lives in an installation of its own. */
WYN_API short Wyn_srvTav_FullPath_Get(int id, char* path);

/* ------------------------------------------------------------------ line */
WYN_API short Wyn_Net_Open(const WynLineSettings* settings);
WYN_API short Wyn_Net_Close(void);

/* --------------------------------------------------- identification/status */
/* size 17: the 17-byte identification record (STR1, STR2, then 15 bytes). */
WYN_API short Wyn_SysCondition_Rd(int station, int size, unsigned char* record);
/* buffer: at least 2 bytes (STR1, STR2 with the ready and offline flags). */
WYN_API short Wyn_Status_Rd(int station, unsigned char* buffer);
/* size 100: the positioning run status reply. */
WYN_API short Wyn_PlaceCondition_Rd(int station, int size, unsigned char* reply);

/* ------------------------------------------------------------ test run */
WYN_API short Wyn_PlaceMotion_Run(int station, unsigned int numberBcd, unsigned char* status);
WYN_API short Wyn_Place_Cancel(int station, unsigned char* status);
WYN_API short Wyn_ManuPluse_Snd(int station, unsigned char* status);
WYN_API short Wyn_ManuMinus_Snd(int station, unsigned char* status);
WYN_API short Wyn_Run_On(int station, unsigned char* status);
WYN_API short Wyn_Run_Off(int station, unsigned char* status);
WYN_API short Wyn_Online_Chg(int station, unsigned char* status);
WYN_API short Wyn_Offline_Set(int station, unsigned char* status);
WYN_API short Wyn_ManuSpeed_Sel(int station, int speed, unsigned char* status);

/* -------------------------------------------- standard parameters (kinds 0, 1) */
/* Reads count values (or table entries) from firstBcd into reply (size bytes). */
WYN_API short Wyn_StdPara_Rd(int station, int count, unsigned int firstBcd, int size, unsigned char* reply);
WYN_API short Wyn_StdParaTbl_Rd(int station, int count, unsigned int firstBcd, int size, unsigned char* reply);
WYN_API short Wyn_SysPara_Rd(int station, int count, unsigned int firstBcd, int size, unsigned char* reply);
WYN_API short Wyn_SysParaTbl_Rd(int station, int count, unsigned int firstBcd, int size, unsigned char* reply);
/* Writes count values: data holds count 6-byte value fields (control byte and
 * 5 digit bytes); dataLen counts their digit bytes, 5 x count (6 x count is
 * accepted too). Any other dataLen gives 12 and nothing is sent. */
WYN_API short Wyn_StdPara_Wt(int station, int count, unsigned int firstBcd, int dataLen,
                             const unsigned char* data, unsigned char* status);
WYN_API short Wyn_SysPara_Wt(int station, int count, unsigned int firstBcd, int dataLen,
                             const unsigned char* data, unsigned char* status);

/* ------------------------------------------------ extended parameters */
/* size = 6 x count + 2: STR1, STR2, then 6 bytes per parameter. first is the
 * plain parameter number 1..297. */
WYN_API short Wyn_Para_Rd2(int station, int count, int first, int size, unsigned char* reply);
/* dataLen = 6 x count; status receives STR1, STR2. */
WYN_API short Wyn_Para_Wt2(int station, int count, int first, int dataLen,
                           const unsigned char* data, unsigned char* status);

/* ---------------------------------------------------- positioning points */
/* Rd2: 16-byte point images, Rd3: 24-byte VV images, after STR1, STR2. */
WYN_API short Wyn_PlaceDat_Rd2(int station, int count, unsigned int firstBcd, int size, unsigned char* reply);
WYN_API short Wyn_PlaceDat_Rd3(int station, int count, unsigned int firstBcd, int size, unsigned char* reply);
/* dataLen must be count x 16 (Wt2) or count x 24 (Wt3), else 12. */
WYN_API short Wyn_PlaceDat_Wt2(int station, int count, unsigned int firstBcd, int dataLen,
                               const unsigned char* data, unsigned char* status);
WYN_API short Wyn_PlaceDat_Wt3(int station, int count, unsigned int firstBcd, int dataLen,
                               const unsigned char* data, unsigned char* status);

/* -------------------------------------------------------- raw frames */
/* A cross-process mutex around one raw exchange: non-zero handle when
 * granted, 0 when another process holds it past a short wait. */
WYN_API intptr_t Wyn_OpenMutex(void);
WYN_API short Wyn_CloseMutex(intptr_t handle);
/* Fills the fixed header bytes 0, 3..12, 15, 16 of a raw frame. */
WYN_API short SetFixedHeaderData(unsigned char* frame, int station);
/* Sends a raw frame of length bytes; the reply's data start at its byte 25
 * (STR1, STR2 first). reply must hold 4096 bytes. */
WYN_API short CommExecProc(int kind, const unsigned char* frame, int length, unsigned char* reply);

/* ------------------------------------------------- connection information */
WYN_API int GetConnectType(void);   /* 0 direct, 122 bus, 124 routed */
WYN_API int GetKbNo(void);          /* bus station number */
WYN_API int GetKeiroID(void);       /* route id */
WYN_API int GetKbType(void);        /* 0: not a KB-bus connection */
WYN_API int GetCmdStsErr(void);     /* status of the last command */

WYN_API short srvTav_Comm_Lock(void);
WYN_API short srvTav_Comm_Unlock(void);

/* ------------------------------------------------------------ statistics */
/* What the component has done on its lines since the process started (or the
 * last Wyn_Stat_Reset): counts of every line, open or already closed. */
typedef struct WynStatistics {
    int64_t lineOpens;   /* successful Wyn_Net_Open calls */
    int64_t exchanges;   /* requests handed to the line (one per operation) */
    int64_t attempts;    /* frames sent, retries included */
    int64_t bytesOut;    /* bytes written to the line */
    int64_t bytesIn;     /* bytes read from the line, echoes and garbage included */
} WynStatistics;
/* 7 for a null pointer. */
WYN_API short Wyn_Stat_Get(WynStatistics* out);
WYN_API short Wyn_Stat_Reset(void);

/* ---------------------------------------------------- in-process simulator */
/* Applies a control object to the simulator of an open "sim:" line: faults,
 * devices, clock (see docs/protocol.md). 10 without a line, 7 when the line
 * is not a "sim:" line or the text is not a valid control object. */
WYN_API short Wyn_Sim_Control(const char* json);

#ifdef __cplusplus
}
#endif

#endif /* WYNAPI_H */
