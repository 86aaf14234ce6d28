/*
 * Tav_acs: data-access library of the servo loader.
 *
 * Every exported function returns a signed 16-bit result code (functions
 * declared wider carry it in the low 16 bits):
 *   0         success
 *   negative  a library error; its message is string 3000 + |code|
 *   positive  a communication error of wynapi, passed through unchanged;
 *             its message is string 4000 + code
 * srvTav_ErrString_Get turns any code into its message (code page 932).
 *
 * Texts are fixed-size NUL-terminated arrays in code page 932; paths are
 * TAV_PATH_MAX bytes. Data sets belong to the host, which allocates them and
 * passes them to every call. The library is not reentrant: call it from one
 * thread at a time. Only the progress and cancel fields of a data set may be
 * read and written from another thread while a call runs.
 *
 * This header compiles as C11 and as C++.
 */
#ifndef TAV_ACS_H
#define TAV_ACS_H

#include <stdint.h>

/* Version of this header and of the library built from it (the soname
 * carries the major number). The build reads these three lines. */
#define TAV_ACS_VERSION_MAJOR 1
#define TAV_ACS_VERSION_MINOR 0
#define TAV_ACS_VERSION_PATCH 0
#define TAV_ACS_VERSION_NUMBER \
    (TAV_ACS_VERSION_MAJOR * 10000 + TAV_ACS_VERSION_MINOR * 100 + TAV_ACS_VERSION_PATCH)

#ifdef __cplusplus
extern "C" {
#endif

#if defined(TAV_BUILDING_LIBRARY)
#define TAV_API __attribute__((visibility("default")))
#else
#define TAV_API
#endif

#define TAV_PATH_MAX 260

/* ------------------------------------------------------------------ codes */
#define TAV_OK                    0
#define TAV_E_PARAMETER          (-1)  /* an argument outside its allowed values */
#define TAV_E_DISK_FULL          (-2)
#define TAV_E_NO_FILE            (-3)  /* a file that cannot be opened or created */
#define TAV_E_NO_ITI_EDIT        (-4)
#define TAV_E_FILE_NAME          (-5)  /* not the expected first line, unknown kind, short name */
#define TAV_E_FIXED_PARAMETER    (-6)
#define TAV_E_NO_TARGET_FILE     (-7)
#define TAV_E_SAME_FILE          (-8)  /* copying a file onto itself */
#define TAV_E_VERIFY             (-9)
#define TAV_E_MODEL_MISMATCH     (-10)
#define TAV_E_READ_COUNT         (-11)
#define TAV_E_DUMP_LIST          (-12)
#define TAV_E_WRITE_COUNT        (-13)
#define TAV_E_OPEN_DEVICE        (-14)
#define TAV_E_RANGE              (-15) /* a value outside its range */
#define TAV_E_VALUE              (-16)
#define TAV_E_DUPLICATE          (-17)
#define TAV_E_LOCKED             (-18) /* port or trace lock held elsewhere */
#define TAV_E_STATION            (-19)
#define TAV_E_RUN_ERROR          (-20)
#define TAV_E_DECIMAL_MISMATCH   (-21)
#define TAV_E_NOT_OPERATOR       (-22)
#define TAV_E_START_NUMBER       (-23)
#define TAV_E_READ_ONLY          (-24)
#define TAV_E_MEMORY_ERROR       (-25)
#define TAV_E_NOT_BCD            (-26)
#define TAV_E_STR_DATA           (-27) /* STR1 bit 6 */
#define TAV_E_STR_TRANSMISSION   (-28) /* STR1 bit 5 */
#define TAV_E_STR_INITIALISING   (-29) /* STR1 bit 3 */
#define TAV_E_ALARM              (-30)
#define TAV_E_CANCELLED          (-31)
#define TAV_E_REFUSED            (-32)
#define TAV_E_STR_REFUSED        (-33) /* STR1 bit 7 */
#define TAV_E_NOT_OFFLINE        (-34)
#define TAV_E_WRITE_PROTECTED    (-35) /* STR1 bits 7 and 2 */
#define TAV_E_SPEED_MODE         (-36)
#define TAV_E_POSITION_MODE      (-37)
#define TAV_E_SERVO_ON           (-38)
#define TAV_E_SERVO_OFF          (-39)
#define TAV_E_REFUSED2           (-40)
#define TAV_E_TEST_RUN_ACTIVE    (-41)
#define TAV_E_NOT_KESTA7         (-42)
#define TAV_E_NOT_KESTA7_MINI    (-43)
#define TAV_E_NOT_OPERATOR2      (-44)
#define TAV_E_CONNECT_METHOD     (-46)
#define TAV_E_DECIMAL_MISMATCH_0 (-50) /* -50 .. -55 by decimal code 0..5 */
#define TAV_E_MODEL_MISMATCH_VEL (-56) /* -56 .. -59: VEL, ROR, LIN, other */
#define TAV_E_NOT_COMPLETED      (-60)
#define TAV_E_ONLINE             (-61)
#define TAV_E_OFFLINE            (-62)
#define TAV_E_IF_MISMATCH_DIDO   (-63) /* -63 .. -65: DI/DO, KB, other */
#define TAV_E_NOT_L_TYPE         (-66)
#define TAV_E_NOT_VV_TYPE        (-67)
#define TAV_E_NOT_VV_POSITIONING (-68)
#define TAV_E_NOTHING_TO_SEND    (-69)

/* ------------------------------------------------------ host integration */
/* A "window" handed to srvTav_SetProgressRateHwnd: posting a message calls
 * post(ctx, msg, wParam, lParam) on the library caller's thread. */
typedef struct TavWindow {
    void (*post)(void* ctx, unsigned int msg, uintptr_t wParam, intptr_t lParam);
    void* ctx;
} TavWindow;
typedef TavWindow* HWND;

#define TAV_WM_PROGRESS 0x8832u /* wParam = percent 0..100 */
#define TAV_WM_CMD_DONE 0x8833u

/* Receives every message box of the library (texts in code page 932, type in
 * MB_* values); returns the ID* answer. Null restores the default, which
 * prints the box to standard error and answers IDYES / IDOK. */
TAV_API void tavplat_set_message_box(int (*fn)(const char* text, const char* caption,
                                               unsigned type));

/* ------------------------------------------------------------ frame */
/* Trace output: accepts any arguments and discards them; returns 0. */
TAV_API short srvTav_fprintf(const char* label, ...);
TAV_API short srvTav_Mon_fprintf(const char* label, ...);
/* Stores "HD-V" + text (text at most 7 characters; longer text is cut). */
TAV_API void srvTav_SetVersion(const char* text);
/* Copies the version string (at most 12 bytes with the terminator). */
TAV_API void srvTav_GetVersion(char* out);
/* Stores the progress target; null switches notifications off. */
TAV_API void srvTav_SetProgressRateHwnd(HWND window);
/* Posts TAV_WM_PROGRESS; a non-zero rate equal to the last one is not posted again. */
TAV_API void srvTav_SendProgressRate(unsigned int rate);
/* Posts TAV_WM_CMD_DONE. */
TAV_API void srvTav_SendCmdProcCmp(void);

/* ------------------------------------------------------------ texts */
/* Message of a result code, at most size-1 bytes and terminated; returns 0. */
TAV_API short srvTav_ErrString_Get(int code, int size, char* out);

/* ------------------------------------------------------------ BCD */
TAV_API short srvTav_Bcd_to_Double(const unsigned char* bcd, int digits, double* out);
TAV_API short srvTav_Double_to_Char(double value, int code, int digits, char* out);
TAV_API short srvTav_Double_to_Bcd(double value, int code, int digits, unsigned char* out);
TAV_API short srvTav_int_to_Bcd(int value, unsigned int* out);
TAV_API short srvTav_Bcd_to_DoubleChar(const unsigned char* bcd, int digits, char* out);

/* ------------------------------------------------------------ line settings */
#pragma pack(push, 1)
/* servo.set as a record; also the argument of the component's line open. */
typedef struct LineSettings {
    int32_t nModel;        /* 0   model number of the edited amplifier */
    int32_t nPort;         /* 4   0 = COM1 .. 8 = COM9 */
    int32_t nBaud;         /* 8   0 9600, 1 19200, 2 38400, 3 2400, 4 4800, 5 57600, 6 115200 */
    int32_t nRetry;        /* 12 */
    int32_t nTimeOut;      /* 16 */
    int32_t nDataBits;     /* 20 */
    int32_t nParity;       /* 24  0 none, 1 odd, 2 even, 3 mark, 4 space */
    int32_t nStopBits;     /* 28  0 one, 1 one and a half, 2 two */
    int32_t nFlow;         /* 32  bit 0: XON/XOFF */
    int32_t nModelValue1;  /* 36  line 5 */
    int32_t nModelValue2;  /* 40 */
    int32_t nModelValue3;  /* 44 */
    int32_t nLine6;        /* 48 */
    int32_t nLine7;        /* 52 */
    int32_t nLine8;        /* 56 */
    char szText1[150];     /* 60  line 9 */
    char szText2[150];     /* 210 line 10 */
    int32_t nLine11;       /* 360 */
    int32_t nLine12;       /* 364 */
    int32_t nTenth;        /* 368 tenth value of line 3 */
} LineSettings;

/* Host-owned paths exchanged with the support link. */
typedef struct SupportLinkRecord {
    char szSetFile[TAV_PATH_MAX];  /* settings file */
    char szConFile[TAV_PATH_MAX];  /* station-list file */
} SupportLinkRecord;

/* The 17-byte identification record of a device. */
typedef struct SysConditionRecord {
    uint8_t byStr1;          /* 0  status byte 1 */
    uint8_t byStr2;          /* 1  status byte 2 */
    uint8_t bySeries;        /* 2 */
    uint8_t byControlType;   /* 3  control-type code */
    uint8_t byFamily;        /* 4  0x30 KESTA7, 0x40 KESTA7 Mini, 0x50 servo operator */
    uint8_t bySpeed;         /* 5  rated-speed code */
    uint8_t byVoltage;       /* 6  supply-voltage code */
    uint8_t byCapacity;      /* 7  amplifier capacity code */
    uint8_t byExtCode;       /* 8  extended code */
    uint8_t byMotorSeries;   /* 9  motor-series code */
    uint8_t byMotorVoltage;  /* 10 motor voltage code */
    uint8_t byMotorCapacity; /* 11 low byte of the applicable motor: motor capacity code */
    uint8_t byEncoder;       /* 12 high byte of the applicable motor: encoder code */
    uint8_t byInterface;     /* 13 interface code */
    uint8_t byMotorCap2;     /* 14 */
    uint8_t byMotorZno;      /* 15 */
    uint8_t byMotorEncoder;  /* 16 */
} SysConditionRecord;

/* The texts composed from an amplifier's identification record. */
typedef struct AmpIdentification {
    char szModelName[40];
    char szFamilyName[40];
    char szAmpCapacity[120];
    char szExtCode[664];
    char szMotorName[40];
    char szMotorSeries[100];
    char szEncoder[30];
    char szAmpVoltage[40];
    char szMotorSpeed[30];
    /* The motor's capacity label from its capacity row ("100[W]", "375[W]").
     * Not the motor's voltage label: no other field tells the motor's
     * capacity in words, while szAmpVoltage covers the supply. */
    char szMotorLabel[40];
    uint8_t byFamily;
} AmpIdentification;

/* Positioning run status of an amplifier. */
typedef struct PositioningRunStatus {
    uint8_t byDataNo;        /* BCD, two digits */
    int32_t nCmdMode;        /* 0 ABS, 1 INC */
    int32_t nStepMode;       /* 0..7 */
    double dValue1;          /* 8-digit BCD value */
    double dValue2;          /* 6-digit BCD value */
    double dValue3;          /* 8-digit BCD value */
    int32_t nCode;           /* reply byte 18 */
    char szDataNo[10];
    char szCmdMode[10];
    char szStepMode[12];
    char szValue1[20];
    char szValue2[12];
    char szValue3[20];
    char szCode[10];
} PositioningRunStatus;
#pragma pack(pop)

/* ------------------------------------------------------------ line settings */
TAV_API short srvTav_Set_Rd(LineSettings* out);
TAV_API short srvTav_SetWyn_Wt(const LineSettings* in);
TAV_API short srvTav_SetKisyu_Wt(int model);
TAV_API short srvTav_SetKisyu_Wt2(int model, int value1, int value2, int value3);
TAV_API short srvTav_Set_Copy(const char* source);
/* port: an open serial port (a file descriptor cast to a pointer) or null. */
TAV_API short srvTav_Port_Set(void* port);

/* ------------------------------------------------------------ station list */
/* Entry numbers 1..50 by place in the list: entry 1 is the first line after
 * the count line (line 3 of servo.con), for the readers and srvTav_AmpData_Wt
 * alike; other numbers give -1. Name buffers hold 500 bytes. */
TAV_API short srvTav_Amp_Rd(char* selected /* 8 bytes */);
TAV_API short srvTav_Amp_Wt(const char* selected);
TAV_API short srvTav_AmpData_Rd(int entry, int refresh, int* count, int* station, char* name, int* flag);
TAV_API short srvTav_AmpData_Wt(int entry, int station, const char* name);
TAV_API short srvTav_Yukou_AmpData_Rd(int* count, int* entry, int* station, char* name, int* flag);
TAV_API short srvTav_TargetAmpKyoku_Rd(int* station);
TAV_API short srvTav_SiteiAmpKyoku_Rd(int entry, int* station);

/* ------------------------------------------------------------ line and locks */
TAV_API short srvTav_Wyn_Net_Open(void);
TAV_API short srvTav_Wyn_Net_Open_Fast(void);
TAV_API short srvTav_ComPortLock(const void* any, ...);
TAV_API short srvTav_ComPortUnlock(void);
TAV_API short srvTav_ComPortLock_quimbel(int* kind);
TAV_API short srvTav_ComPortUnlock_quimbel(const void* any, ...);
TAV_API short srvTav_ComPortLockUnlockCheck(int* port);
TAV_API short srvTav_TraceLock(int mode);
TAV_API short srvTav_TraceUnlock(int mode);
TAV_API short srvTav_TraceLockUnlockCheck(int* state);
TAV_API short srvTav_File_Copy(const char* source, const char* destination);
TAV_API short srvTav_SupLnk_Init(SupportLinkRecord* record);
TAV_API short srvTav_SupLnk_Open(const char* file, SupportLinkRecord* record);
TAV_API short srvTav_SupLnk_Close(const char* file, int kind, SupportLinkRecord* record);
TAV_API void w1_test(void);

/* ------------------------------------------------------------ identification */
TAV_API short srvTav_SysCondition_Rd(int station, AmpIdentification* out);
TAV_API short srvTav_Open_SysCondition_Rd_Close(SysConditionRecord* record);
TAV_API short srvTav_Motor_Info_Rd(unsigned char index, double* first, double* second, double* third);
TAV_API short srvGet_NameFromModelNumber(unsigned int number, char* name /* 7 bytes */);
TAV_API short srvGet_ModelNumberFromName(const char* name);
TAV_API short srvGet_AmpModelNumber(unsigned int number, unsigned int* base, unsigned int* bus);
TAV_API int srvGet_ModelNumberFromAmp(int value);
TAV_API char* GetAmpNameFromFile(void);
TAV_API void SetAmpNameForFile(const char* name);
TAV_API char* GetAmpNameForFile(void);
TAV_API void SetAmpNameFromFileSel(unsigned int value);
TAV_API unsigned int GetAmpNameFromFileSel(void);

/* ------------------------------------------------------------ test run */
TAV_API short srvTav_Status_Rd(int station, unsigned char* status /* 2 */, int* ready);
TAV_API short srvTav_PlaceRunOff(int station, int number, int mode, unsigned char* status, int* ready);
TAV_API short srvTav_ManuPluse_Snd(int station, int direction, unsigned char* status);
TAV_API short srvTav_RunOnOFF_ManuSpeedSel(int station, int on, int speed, unsigned char* status);
TAV_API short srvTav_Open_OffONline_Close(int mode, unsigned char* record /* 17 */);
TAV_API short srvTav_ItiDatRunStatus_Rd(int station, PositioningRunStatus* out);

/* ------------------------------------------------------------ direct access */
TAV_API short srvTav_Wyn_STR_ERR_Chk(const unsigned char* status);
TAV_API short srvTav_Wyn_General_Acs(unsigned char station, unsigned char command, unsigned char mode,
                                     unsigned char memoryKind, unsigned char addressLow,
                                     unsigned char addressMiddle, unsigned char addressHigh, int dataLength,
                                     const unsigned char* data, unsigned short replyLength,
                                     unsigned char* reply);
TAV_API short srvTav_Wyn_Primitive_Acs(int station, unsigned char command, unsigned char mode,
                                       unsigned char memoryKind, unsigned char addressLow,
                                       unsigned char addressMiddle, unsigned char addressHigh,
                                       int firstLength, const unsigned char* firstData, int secondLength,
                                       const unsigned char* secondData, unsigned short replyLength,
                                       unsigned char* reply);

/* ------------------------------------------------------------ data sets */
#pragma pack(push, 1)
/* The header fields every data set begins with (2719 bytes). */
#define TAV_SET_HEADER_FIELDS                                                        \
    char szAmpNo[20];       /* amplifier number "%03d", "000" on a KB bus */        \
    char szReadDate[50];    /* date and time of the last read from the device */    \
    char szFileName[TAV_PATH_MAX];                                                  \
    char szDefPath[TAV_PATH_MAX];  /* definition file that filled the set */        \
    int32_t nKind;          /* 0 parameters, 1 system, 2 hidden */                  \
    int32_t nModel;         /* control type: 0 VEL, 1 ROR, 2 LIN, other ETC */      \
    uint8_t byInfo1, byInfo2, byInfo3, byInfo4, byInfo5, byInfo6, byInfo7,          \
        byInfo8, byInfo9;                                                           \
    uint8_t byReserved1;                                                            \
    int32_t nInfoWord;                                                              \
    uint8_t byInfo10, byInfo11, byInfo12, byInfo13, byInfo14;                       \
    int32_t nInfo15, nInfo16;                                                       \
    int32_t nInterface;     /* 0 DI/DO, 1 KB bus */                                 \
    int32_t nInfo17;                                                                \
    int32_t nFamily;                                                                \
    char szComment[2048];   /* lines separated by CR LF */                          \
    char byReserved2[14];                                                           \
    int32_t nParaCount;                                                             \
    int32_t nGroupCount;                                                            \
    int32_t nProgressTotal; /* may be read from another thread during a call */     \
    int32_t nProgressDone;  /* -1 after a failed transfer */                        \
    int32_t nCancel         /* the host writes -31 to cancel */

/* One standard parameter of the servo operator. */
typedef struct ParaRecord {
    int32_t nParaNo;
    int32_t nChgFlag;         /* 1: to be sent to the device */
    char szName[100];
    char szDetail[3002];
    char szTag[31];
    uint16_t wAttr;           /* bit 1 unsigned, bit 2 symmetric, bits 8-11 decimal places */
    double dInitial;
    double dMax;
    double dMin;
    double dScale;
    char szNote[50];
    char szIdCode[20];
    char szItemComment[2000];
    double dValue;
    int32_t nResult;
    char szSubTitle[40];
    char szValueText[8][40];
    char byReserved[161];
} ParaRecord;

/* The standard parameters of one page; slot 0 holds parameter 1. */
typedef struct ParaSet {
    TAV_SET_HEADER_FIELDS;
    ParaRecord para[99];
} ParaSet;

/* One extended parameter of a KESTA7 / KESTA7 Mini amplifier. */
typedef struct NewParaRecord {
    int32_t nParaNo;
    int32_t nChgFlag;
    char szName[100];
    char szDetail[3002];
    char szTag[31];
    uint16_t wAttr;           /* bit 1 hexadecimal range, bit 4 follows the decimal position */
    double dInitial;
    double dMax;
    double dMin;
    double dScale;
    char szNote[50];
    char szIdCode[20];
    char szItemComment[1000];
    char szItemCommentBase[1000];
    double dValue;
    int32_t nResult;
    char szSubTitle[40];
    char szValueText[10][40];
    char szFileNote[81];
} NewParaRecord;

/* The extended parameters of one page; slot 0 holds parameter 1. */
typedef struct NewParaSet {
    TAV_SET_HEADER_FIELDS;
    int32_t nReserved;
    int32_t nPrintFirst;      /* first listing line */
    int32_t nPrintCount;      /* number of listing lines */
    NewParaRecord para[297];
} NewParaSet;
#pragma pack(pop)

/* ---- standard parameters: types and functions ---- */
#pragma pack(push, 1)
/* The properties of a standard-parameter set the host shows and edits. */
typedef struct ParaProperty {
    char szAmpNo[20];
    char szReadDate[50];
    char szFileName[TAV_PATH_MAX];
    char szDefPath[TAV_PATH_MAX];
    int32_t nKind;
    int32_t nModel;
    uint8_t byInfo1, byInfo2;
    uint8_t byReserved;
    uint8_t byInfo4, byInfo5, byInfo6, byInfo7, byInfo8, byInfo9;
    int32_t nInfoWord;
    uint8_t byInfo10, byInfo12, byInfo13, byInfo14;
    int32_t nInfo15, nInfo16;
    int32_t nInterface;       /* not copied by srvTav_Para_Property_Rd */
    int32_t nInfo17;          /* not copied by srvTav_Para_Property_Rd */
    int32_t nFamily;
    char szComment[2048];
} ParaProperty;

/* The page image of a standard-parameter listing. */
typedef struct ParaPrint {
    char szPrintName[80];
    char szPrintHead[120];
    char szPrintInfo[120];
    int32_t nPrintLines;
    char szPrintComment[2048 + 80];
    char szPrintLine[99][1000];
} ParaPrint;
#pragma pack(pop)

/* Buffer size for one information line of srvTav_Para_Ctl_Inf_Rd. */
#define TAV_PARA_INFO_SIZE 2200

/* Definitions and working set. Parameter numbers run 1..nParaCount. */
TAV_API short srvTav_ParaIni_Rd(int n, int kind, ParaSet* set);
TAV_API short srvTav_Para_Dat_Rd(ParaSet* set, int no, ParaRecord* out);
TAV_API short srvTav_Para_Dat_Chg(ParaSet* set, int no, double value);
TAV_API short srvTav_Para_Dat_Init(ParaSet* set, int no);
TAV_API short srvTav_Para_SubTile_Rd(ParaSet* set, int no, char* out /* 40 */);
TAV_API short srvTav_Para_ValueString_Rd(ParaSet* set, int no, int idx, char* out /* 40 */);
TAV_API short srvTav_StdSyp_GrpNmae_Rd(ParaSet* set, int grp, char* out /* 100 */);
TAV_API short srvTav_Para_Skubun_No_Rd(ParaSet* set, int codeNo, int dir, int* no);
TAV_API short srvTav_Para_No_Skubun_Rd(ParaSet* set, int no, int* codeNo);
/* Parameter file. */
TAV_API short srvTav_Para_Rd(const char* file, int kind, ParaSet* set);
TAV_API short srvTav_Para_Wt(const char* file, ParaSet* set);
TAV_API short srvTav_Para_Create(int model, int kind, ParaSet* set);
TAV_API short srvTav_Para_FileName_Chg(ParaSet* set, const char* name);
TAV_API short srvTav_Para_FileCmt_Rd(ParaSet* set, char* out /* 2048 */);
TAV_API short srvTav_Para_FileCmt_Wt(ParaSet* set, const char* text);
TAV_API short srvTav_Para_Property_Rd(ParaSet* set, ParaProperty* out);
TAV_API short srvTav_Para_Property_Wt(ParaSet* set, const ParaProperty* in);
/* Transfer with the servo operator (station null: the file). */
TAV_API short srvTav_Para_ComRd(const char* file, const char* station, int kind, ParaSet* set);
TAV_API short srvTav_Para_ComWt(const char* file, const char* station, int reserved, int sendAll, ParaSet* set);
TAV_API short srvTav_Para_Amp_Rd(const char* station, ParaSet* set);
TAV_API short srvTav_Para_Amp_Wt(const char* station, int sendAll, ParaSet* set);
TAV_API short srvTav_Para_Syousuh_Chg(ParaSet* set, int changed, int withTexts, int reserved);
/* Listing and CSV export. */
TAV_API short srvTav_ParaPrint_Mak(ParaSet* set, ParaPrint* out);
TAV_API short srvTav_ParaCsvType_Wt(const char* file, ParaSet* set);
TAV_API short srvTav_Para_Ctl_Inf_Rd(ParaSet* set, int item, char* out /* TAV_PARA_INFO_SIZE */);
/* drive 3, dir and name TAV_PATH_MAX, spare1 and spare2 TAV_PATH_MAX, title 400 bytes. */
TAV_API short srvTav_ParaTitle_Rd(ParaSet* set, char* drive, char* dir, char* name, char* spare1, char* spare2,
                                  char* title);
#ifdef __cplusplus
static_assert(sizeof(ParaProperty) == 2683, "ParaProperty is 2683 bytes");
static_assert(sizeof(ParaPrint) == 101452, "ParaPrint is 101,452 bytes");
#else
_Static_assert(sizeof(ParaProperty) == 2683, "ParaProperty is 2683 bytes");
_Static_assert(sizeof(ParaPrint) == 101452, "ParaPrint is 101,452 bytes");
#endif
/* ---- end of standard parameters ---- */

/* ---- extended parameters: types and functions ---- */
#pragma pack(push, 1)
/* Header fields of an extended parameter set as the host edits them. */
typedef struct NewParaProperty {
    char szAmpNo[20];
    char szReadDate[50];
    char szFileName[TAV_PATH_MAX];
    char szDefPath[TAV_PATH_MAX];
    int32_t nKind;
    int32_t nModel;
    uint8_t byInfo1, byInfo2, byInfo3, byInfo4, byInfo5, byInfo6, byInfo7, byInfo8, byInfo9;
    int32_t nInfoWord;
    uint8_t byInfo10, byInfo12, byInfo13, byInfo14;
    int32_t nInfo15, nInfo16, nInterface, nInfo17, nFamily;
    char szComment[2048];
} NewParaProperty;

/* Listing of an extended parameter set: header texts and one line per parameter. */
typedef struct NewParaPrint {
    char szFileTitle[80];
    char szHeader[120];
    char szAmpType[120];
    char szTitle[100];
    char byReserved[20];
    int32_t nLines;
    char szCommentLine[2128];
    char szLine[297][1000];
} NewParaPrint;
#pragma pack(pop)

/* Definitions and accessors. Texts out: szSubTitle and value texts 40 bytes;
 * srvTav_NewParaTitle_Rd: drive 3, dir and name TAV_PATH_MAX, out4/out5 1,
 * title 400 bytes; srvTav_NewPara_Ctl_Inf_Rd: out 2200 bytes. */
TAV_API short srvTav_NewParaIni_Rd(int model, int interfaceCode, int kind, NewParaSet* set);
TAV_API short srvTav_NewParaIni_Rd2(int model, int interfaceCode, int kind, NewParaSet* set);
TAV_API short srvTav_NewParaTitle_Rd(NewParaSet* set, char* drive, char* dir, char* name, char* out4, char* out5, char* title);
TAV_API short srvTav_NewPara_Dat_Rd(NewParaSet* set, int no, NewParaRecord* out);
TAV_API short srvTav_NewPara_SubTile_Rd(NewParaSet* set, int no, char* out);
TAV_API short srvTav_NewPara_ValueString_Rd(NewParaSet* set, int no, int idx, char* out);
TAV_API short srvTav_NewPara_Skubun_No_Rd(NewParaSet* set, int codeNo, int dir, int* no);
TAV_API short srvTav_NewPara_No_Skubun_Rd(NewParaSet* set, int no, int* codeNo);
TAV_API short srvTav_NewPara_Dat_Chg(NewParaSet* set, int no, double value);
TAV_API short srvTav_NewPara_Dat_Init(NewParaSet* set, int no);
TAV_API short srvTav_NewPara_Syousuh_Chg(NewParaSet* set, int rescaleValues, int rebuildTexts, int markChanged, int applyMotor);
/* Parameter file (.k7p / .syp) and properties. */
TAV_API short srvTav_NewPara_Rd(const char* path, int kind, NewParaSet* set);
TAV_API short srvTav_NewPara_Wt(const char* path, NewParaSet* set);
TAV_API short srvTav_NewPara_Create(int model, int kind, NewParaSet* set);
TAV_API short srvTav_NewPara_FileName_Chg(NewParaSet* set, const char* name);
TAV_API short srvTav_NewPara_FileCmt_Rd(NewParaSet* set, char* out);
TAV_API short srvTav_NewPara_FileCmt_Wt(NewParaSet* set, const char* text);
TAV_API short srvTav_NewPara_Property_Rd(NewParaSet* set, NewParaProperty* out);
TAV_API short srvTav_NewPara_Property_Wt(NewParaSet* set, const NewParaProperty* prop);
TAV_API short srvTav_NewPara_Ctl_Inf_Rd(NewParaSet* set, int item, int* lines, char* out);
/* Transfer with the amplifier; a null stationText selects the file. The
 * station text is the entry number of the amplifier in servo.con.
 * srvTav_NewPara_ComRd: stationText null: reads the parameter file path
 *   (kind 0 parameters, 1 system, 2 hidden page; files only, no line).
 *   Otherwise takes the port lock (TAV_E_LOCKED while a trace holds it),
 *   opens the line of servo.set (TAV_E_OPEN_DEVICE when it does not open),
 *   identifies the amplifier
 *   (TAV_E_NOT_OPERATOR when the line or the amplifier is not a servo
 *   operator's), loads the definitions of its model from the installation
 *   folder and reads parameters first..last (0, 0: the whole page) into set.
 *   TAV_E_STATION for an entry without an amplifier; set null:
 *   TAV_E_PARAMETER. Posts TAV_WM_PROGRESS; set->nCancel = -31 from another
 *   thread stops it with TAV_E_CANCELLED; a failed exchange on the line
 *   returns the component's positive code.
 * srvTav_NewPara_ComWt: stationText null: writes path like srvTav_NewPara_Wt.
 *   Otherwise writes the changed parameters (all != 0: every writable one) to
 *   the amplifier, with the same lock, progress, cancellation and codes. */
TAV_API short srvTav_NewPara_ComRd(const char* path, const char* stationText, int kind, NewParaSet* set, int first, int last);
TAV_API short srvTav_NewPara_ComWt(const char* path, const char* stationText, int reserved, int all, NewParaSet* set);
TAV_API short srvTav_NewPara_ComInitWt(NewParaSet* set);
TAV_API short srvTav_NewPara_Amp_Rd(const char* stationText, NewParaSet* set, int first, int last);
TAV_API short srvTav_NewPara_Amp_Wt(const char* stationText, int all, NewParaSet* set);
TAV_API short srvTav_NewPara_Amp_Ini_Wt(const char* stationText, int reserved, NewParaSet* set);
/* Listing and CSV export. */
TAV_API short srvTav_NewParaPrint_Mak(NewParaSet* set, NewParaPrint* out);
TAV_API short srvTav_NewParaCsvType_Wt(const char* path, NewParaSet* set);
/* ---- end of extended parameters ---- */

/* ---- positioning data: types and functions ---- */
#pragma pack(push, 1)
/* The header every positioning table begins with (2454 bytes); the VV table
 * shares it. */
#define TAV_ITI_SET_HEADER_FIELDS                                                    \
    char szAmpNo[20];       /* "%03d" of the station, "000" on a KB bus, "0" template */ \
    char szReadDate[50];    /* "<short date> - <24-hour time>" of the last read */  \
    char szFileName[TAV_PATH_MAX];                                                  \
    int32_t nModel;         /* control type: 0 VEL, 1 ROR, 2 LIN, other ETC */      \
    uint8_t byInfo1, byInfo2, byInfo3, byInfo4, byInfo5, byInfo6, byInfo7,          \
        byInfo8, byInfo9;                                                           \
    int32_t nInfoWord;                                                              \
    uint8_t byInfo10, byInfo11, byInfo12, byInfo13, byInfo14;                       \
    uint32_t nInfo15, nInfo16;                                                      \
    uint32_t nInterface;    /* byte 13 of the identification record */             \
    uint32_t nInfo17;                                                               \
    uint32_t nFamily;       /* 0x30 KESTA7, 0x40 KESTA7 Mini */                     \
    int32_t nPointCount;    /* points in use; always 99 (15 in a VV table) */       \
    uint32_t nColumnCount;  /* values per point line in files */                   \
    uint16_t wStopPosDp;    /* decimal places of the stop positions, 0..5 */        \
    uint16_t wStopTimeDp;   /* stop timers carry wStopTimeDp + 2 places, 0..1 */   \
    char szComment[2058];   /* at most 2047 characters, CR LF line ends */          \
    int32_t nProgressTotal; /* may be read from another thread during a call */     \
    int32_t nProgressDone;  /* -1 after a failed transfer */                        \
    int32_t nCancel         /* the host writes -31 to cancel */

/* One positioning point; also the output record of srvTav_ItiDat_Rd. */
typedef struct ItiDatPoint {
    int32_t nDataNo;     /* 1..99 */
    int32_t nChgFlag;    /* 0 unchanged, 1 edited, 2 moved by an insertion */
    int32_t nCmdMode;    /* 0 ABS, 1 INC */
    int32_t nStepMode;   /* 0..3 */
    double dStopPos;     /* wStopPosDp places */
    double dSpeed;       /* 2 places */
    double dStopTimer;   /* seconds, wStopTimeDp + 2 places */
    int32_t nMCode;      /* one byte on the amplifier */
    int32_t nMValid;     /* 0 invalid, 1 valid */
    int32_t nMTiming;    /* 0 MW, 1 MA */
    int32_t nStatus;     /* 0 or the result code of the last conversion/transfer */
} ItiDatPoint;

/* The 99-point positioning table of an L-type amplifier. */
typedef struct ItiDatSet {
    TAV_ITI_SET_HEADER_FIELDS;
    ItiDatPoint point[99];  /* point[0] is point 1 */
} ItiDatSet;

/* One point read live from the amplifier (srvTav_ItiNoDat_Rd). */
typedef struct ItiNoDatInfo {
    uint8_t byDataNo;
    int32_t nCmdMode;
    int32_t nStepMode;   /* bits 1-3 of the status byte */
    double dStopPos;     /* with the amplifier's own decimal points */
    double dSpeed;
    double dStopTimer;
    int32_t nMCode;
    char szDataNo[10];
    char szCmdMode[10];
    char szStepMode[12];
    char szStopPos[20];
    char szSpeed[12];
    char szStopTimer[20];
    char szMCode[3];     /* "%02x" */
} ItiNoDatInfo;

/* Ready-made listing lines of a positioning table (print or CSV form). */
typedef struct ItiDatPrintData {
    char szTitle[80];
    char szColumnTitle1[120];
    char szColumnTitle2[120];
    char szModelLine[120];
    int32_t nLineCount;
    char szCommentLine[2128];
    char szPointLine[99][130];
} ItiDatPrintData;
#pragma pack(pop)

#ifndef TAV_STATIC_ASSERT
#ifdef __cplusplus
#define TAV_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define TAV_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
#endif
TAV_STATIC_ASSERT(sizeof(ItiDatPoint) == 56, "ItiDatPoint is 56 bytes");
TAV_STATIC_ASSERT(sizeof(ItiDatSet) == 2454 + 99 * 56, "ItiDatSet is 7998 bytes");
TAV_STATIC_ASSERT(sizeof(ItiNoDatInfo) == 124, "ItiNoDatInfo is 124 bytes");
TAV_STATIC_ASSERT(sizeof(ItiDatPrintData) == 15442, "ItiDatPrintData is 15442 bytes");

/* Editing in memory. A point number is valid from 1 to nPointCount (-1 else). */
TAV_API short srvTav_ItiDat_Init(ItiDatSet* set, int no);
TAV_API short srvTav_ItiDat_Chg(ItiDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed, double stopTimer, int mCode, int mValid, int mTiming);
TAV_API short srvTav_ItiDat_Insert(ItiDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed, double stopTimer, int mCode, int mValid, int mTiming);
/* Leaves out->nMValid and out->nMTiming as they were. */
TAV_API short srvTav_ItiDat_Rd(ItiDatSet* set, int no, ItiDatPoint* out);
TAV_API short srvTav_ItiAtt_Chg(ItiDatSet* set, unsigned short dp);
TAV_API short srvTav_ItiAtt_Chg2(ItiDatSet* set, unsigned short code);
TAV_API short srvTav_ItiDat_FileName_Chg(ItiDatSet* set, const char* name);
/* out holds 2058 bytes. */
TAV_API short srvTav_ItiDat_FileCmt_Rd(ItiDatSet* set, char* out);
TAV_API short srvTav_ItiDat_FileCmt_Wt(ItiDatSet* set, const char* text);
/* Each output holds TAV_PATH_MAX bytes; null outputs are skipped. */
TAV_API short srvTav_ItiTitle_Rd(ItiDatSet* set, char* drive, char* dir, char* baseName, char* out4, char* out5, char* title);

/* Files (".k7l"; a ".csv" name writes the CSV export). A null or empty name
 * reads the template of the current model. */
TAV_API short srvTav_ItiDatFil_Rd(const char* fileName, ItiDatSet* set);
TAV_API short srvTav_ItiDatFil_Wt(const char* fileName, ItiDatSet* set);
TAV_API short srvTav_ItiDatFil_Create(int model, ItiDatSet* set);

/* Transfers: a null ampText works on the file instead.
 * srvTav_ItiDat_ComRd: ampText (the entry number in servo.con, as text) null:
 *   reads fileName like srvTav_ItiDatFil_Rd (files only, no line). Otherwise
 *   opens the line of servo.set, identifies the amplifier (TAV_E_NOT_L_TYPE
 *   for any other kind), reads its decimal settings and all points into set.
 *   set null: TAV_E_PARAMETER. Posts TAV_WM_PROGRESS; set->nCancel = -31
 *   from another thread stops it with TAV_E_CANCELLED. A failed exchange on
 *   the line returns the component's positive code; nProgressDone is -1
 *   after any failure.
 * srvTav_ItiDat_ComWt: ampText null: writes fileName like srvTav_ItiDatFil_Wt.
 *   Otherwise checks the points to send first (writeAll 0: those with
 *   nChgFlag set; TAV_E_RANGE with the point's nStatus set when one is out of
 *   range, TAV_E_NOTHING_TO_SEND when none changed), then opens the line and
 *   writes them; progress, cancellation and line codes as for ComRd.
 * srvTav_ItiDat_AmpRd / AmpWt: the point transfer alone, on a line the caller
 *   opened (srvTav_Wyn_Net_Open); ampText and set must not be null. */
TAV_API short srvTav_ItiDat_ComRd(const char* fileName, const char* ampText, ItiDatSet* set);
TAV_API short srvTav_ItiDat_ComWt(const char* fileName, const char* ampText, int writeAll, ItiDatSet* set);
TAV_API short srvTav_ItiDat_AmpRd(const char* ampText, ItiDatSet* set);
TAV_API short srvTav_ItiDat_AmpWt(const char* ampText, int writeAll, ItiDatSet* set);
TAV_API short srvTav_ItiAtt_AmpRd(const char* ampText, unsigned short* stopPosDp, unsigned short* stopTimeDp);
TAV_API short srvTav_ItiNoDat_Rd(int station, int no, ItiNoDatInfo* out);

/* Listing and CSV export. out of srvTav_ItiDat_Ctl_Inf_Rd holds 2200 bytes. */
TAV_API short srvTav_ItiDatPrint_mak(ItiDatSet* set, ItiDatPrintData* out);
TAV_API short srvTav_ItiDat_Ctl_Inf_Rd(ItiDatSet* set, int index, int* lineCount, char* out);
TAV_API short srvTav_ItiDatCsvType_Wt(const char* fileName, ItiDatSet* set);
/* ---- end of positioning data ---- */

/* ---- VV positioning data: types and functions ---- */
#pragma pack(push, 1)
/* One VV point: a positioning point with its acceleration and deceleration
 * times; also the output record of srvTav_ItiVvDat_Rd. */
typedef struct ItiVvDatPoint {
    int32_t nDataNo;     /* 1..15 */
    int32_t nChgFlag;    /* 0 unchanged, 1 edited, 2 moved by an insertion or deletion */
    int32_t nCmdMode;    /* 0 ABS, 1 INC */
    int32_t nStepMode;   /* 0..3 */
    double dStopPos;     /* wStopPosDp places */
    double dSpeed;       /* 2 places */
    double dAccelTime;   /* 1 place, 0..99999.9 */
    double dDecelTime;   /* 1 place, 0..99999.9 */
    double dStopTimer;   /* seconds, wStopTimeDp + 2 places */
    int32_t nMCode;
    int32_t nMValid;     /* 0 invalid, 1 valid */
    int32_t nMTiming;    /* 0 MW, 1 MA */
    int32_t nStatus;     /* 0 or the result code of the last conversion/transfer */
} ItiVvDatPoint;

/* The 15-point VV positioning table of a V-type amplifier. */
typedef struct ItiVvDatSet {
    TAV_ITI_SET_HEADER_FIELDS;
    ItiVvDatPoint point[15];  /* point[0] is point 1 */
} ItiVvDatSet;

/* Ready-made listing lines of a VV table (print or CSV form). */
typedef struct ItiVvDatPrintData {
    char szTitle[80];
    char szColumnTitle1[200];
    char szColumnTitle2[200];
    char szModelLine[120];
    int32_t nLineCount;
    char szCommentLine[2128];
    char szPointLine[15][130];
} ItiVvDatPrintData;
#pragma pack(pop)

TAV_STATIC_ASSERT(sizeof(ItiVvDatPoint) == 72, "ItiVvDatPoint is 72 bytes");
TAV_STATIC_ASSERT(sizeof(ItiVvDatSet) == 2454 + 15 * 72, "ItiVvDatSet is 3534 bytes");
TAV_STATIC_ASSERT(sizeof(ItiVvDatPrintData) == 4682, "ItiVvDatPrintData is 4682 bytes");

/* Editing in memory. A point number is valid from 1 to nPointCount (-1 else). */
TAV_API short srvTav_ItiVvDat_Init(ItiVvDatSet* set, int no);
TAV_API short srvTav_ItiVvDat_Chg(ItiVvDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed, double accelTime, double decelTime, double stopTimer, int mCode, int mValid, int mTiming);
TAV_API short srvTav_ItiVvDat_Insert(ItiVvDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed, double accelTime, double decelTime, double stopTimer, int mCode, int mValid, int mTiming);
/* Closes the gap at no; the last point is reset and marked 2. */
TAV_API short srvTav_ItiVvDat_Delete(ItiVvDatSet* set, int no);
/* Leaves out->nMValid and out->nMTiming as they were. */
TAV_API short srvTav_ItiVvDat_Rd(ItiVvDatSet* set, int no, ItiVvDatPoint* out);
TAV_API short srvTav_ItiVvAtt_Chg(ItiVvDatSet* set, unsigned short dp);
TAV_API short srvTav_ItiVvAtt_Chg2(ItiVvDatSet* set, unsigned short code);
TAV_API short srvTav_ItiVvAtt_Rd(ItiVvDatSet* set, unsigned short* dp);
/* Each output holds TAV_PATH_MAX bytes; null outputs are skipped. */
TAV_API short srvTav_ItiVvTitle_Rd(ItiVvDatSet* set, char* drive, char* dir, char* baseName, char* out4, char* out5, char* title);
TAV_API short srvTav_ItiVvDat_FileName_Chg(ItiVvDatSet* set, const char* name);
/* out holds 2058 bytes. */
TAV_API short srvTav_ItiVvDat_FileCmt_Rd(ItiVvDatSet* set, char* out);
TAV_API short srvTav_ItiVvDat_FileCmt_Wt(ItiVvDatSet* set, const char* text);

/* Files (".k7v" KESTA7, ".m7v" KESTA7 Mini; a ".csv" name writes the CSV
 * export). A null or empty name reads the VV template of the current model. */
TAV_API short srvTav_ItiVvDatFil_Rd(const char* fileName, ItiVvDatSet* set);
TAV_API short srvTav_ItiVvDatFil_Wt(const char* fileName, ItiVvDatSet* set);
TAV_API short srvTav_ItiVvDatFil_Create(int model, ItiVvDatSet* set);

/* Transfers: a null ampText works on the file instead. */
TAV_API short srvTav_ItiVvDat_ComRd(const char* fileName, const char* ampText, ItiVvDatSet* set);
TAV_API short srvTav_ItiVvDat_ComWt(const char* fileName, const char* ampText, int writeAll, ItiVvDatSet* set);
TAV_API short srvTav_ItiVvDat_AmpRd(const char* ampText, ItiVvDatSet* set);
TAV_API short srvTav_ItiVvDat_AmpWt(const char* ampText, int writeAll, ItiVvDatSet* set);
/* Writes every point, unchecked, to the amplifier named in szAmpNo. */
TAV_API short srvTav_ItiVvDat_InitWt(ItiVvDatSet* set);
TAV_API short srvTav_ItiVvAtt_AmpRd(const char* ampText, unsigned short* stopPosDp, unsigned short* stopTimeDp);

/* Listing and CSV export. out of srvTav_ItiVvDat_Ctl_Inf_Rd holds 2200 bytes. */
TAV_API short srvTav_ItiVvDatPrint_mak(ItiVvDatSet* set, ItiVvDatPrintData* out);
TAV_API short srvTav_ItiVvDat_Ctl_Inf_Rd(ItiVvDatSet* set, int index, int* lineCount, char* out);
TAV_API short srvTav_ItiVvDatCsvType_Wt(const char* fileName, ItiVvDatSet* set);
/* ---- end of VV positioning data ---- */

/* ---- null arguments ---- */
/* A null pointer where the library needs an object gives a code (usually -1)
 * and changes nothing. Null is a choice, not an error, for:
 *   window of srvTav_SetProgressRateHwnd (notifications off), fn of
 *   tavplat_set_message_box (default boxes), port of srvTav_Port_Set;
 *   the station/ampText/stationText of the *_ComRd / *_ComWt transfers (the
 *   file instead) and their file/path/fileName when a station is given;
 *   file of srvTav_Para_Rd / srvTav_Para_ComRd (definition only) and of
 *   srvTav_Para_Wt (szFileName); fileName of srvTav_ItiDatFil_Rd and
 *   srvTav_ItiVvDatFil_Rd (the template; empty alike);
 *   every output of the *Title_Rd functions, and lineCount/lines and out of
 *   the *_Ctl_Inf_Rd functions (skipped);
 *   count, station, name and flag of srvTav_AmpData_Rd, name of
 *   srvTav_AmpData_Wt (entry kept), kind of srvTav_ComPortLock_quimbel,
 *   port of srvTav_ComPortLockUnlockCheck, state of
 *   srvTav_TraceLockUnlockCheck, text of srvTav_SetVersion,
 *   srvTav_ItiDat_FileCmt_Wt and srvTav_ItiVvDat_FileCmt_Wt, name of
 *   SetAmpNameForFile, out of srvTav_GetVersion and of srvTav_ErrString_Get
 *   (nothing written);
 *   any argument of srvTav_fprintf, srvTav_Mon_fprintf, srvTav_ComPortLock
 *   and srvTav_ComPortUnlock_quimbel. */

/* ------------------------------------------------------------ layouts */
#ifdef __cplusplus
#define TAV_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define TAV_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
TAV_STATIC_ASSERT(sizeof(LineSettings) == 372, "LineSettings is 372 bytes");
TAV_STATIC_ASSERT(sizeof(SysConditionRecord) == 17, "SysConditionRecord is 17 bytes");
TAV_STATIC_ASSERT(sizeof(AmpIdentification) == 1145, "AmpIdentification is 1145 bytes");
TAV_STATIC_ASSERT(sizeof(SupportLinkRecord) == 2 * TAV_PATH_MAX, "two paths");
TAV_STATIC_ASSERT(sizeof(ParaRecord) == 5778, "ParaRecord is 5778 bytes");
TAV_STATIC_ASSERT(sizeof(ParaSet) == 2719 + 99 * 5778, "ParaSet is 574,741 bytes");
TAV_STATIC_ASSERT(sizeof(NewParaRecord) == 5778, "NewParaRecord is 5778 bytes");
TAV_STATIC_ASSERT(sizeof(NewParaSet) == 1718797, "NewParaSet is 1,718,797 bytes");

#ifdef __cplusplus
}
#endif

#endif /* TAV_ACS_H */
