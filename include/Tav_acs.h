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
 * Each function below carries a short contract: what it does, the pointer
 * arguments that may be null (any other null pointer gives a code, usually
 * TAV_E_PARAMETER, and changes nothing; the list is at the end), its codes,
 * and whether it talks on the line or touches files. "Line" means the
 * serial line to the devices; "files" are those of the installation folder
 * ($WYN_HOME: servo.set, servo.con, definitions) unless a path is passed.
 * Every text lookup (messages, labels, titles, listing headers) loads the
 * current language module from the language folder RSC/ and rewrites
 * RSC/user.ini; a folder without a usable module ends the process (exit 1).
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
/* The frame works in process memory only: no line, no files. */
/* Trace output: accepts any arguments (null included), discards them; returns 0. */
TAV_API short srvTav_fprintf(const char* label, ...);
TAV_API short srvTav_Mon_fprintf(const char* label, ...);
/* Stores "HD-V" + text as the version string the file writers put into their
 * files; text may be null (empty) and is cut at 7 characters. */
TAV_API void srvTav_SetVersion(const char* text);
/* Copies the version string (empty until set; at most 12 bytes with the
 * terminator) into out; null out: nothing written. */
TAV_API void srvTav_GetVersion(char* out);
/* Stores the progress target; null switches notifications off. */
TAV_API void srvTav_SetProgressRateHwnd(HWND window);
/* Posts TAV_WM_PROGRESS (wParam = rate) to the target, if any; a non-zero
 * rate equal to the last one posted is not posted again, 0 always is. */
TAV_API void srvTav_SendProgressRate(unsigned int rate);
/* Posts TAV_WM_CMD_DONE to the target, if any. */
TAV_API void srvTav_SendCmdProcCmp(void);

/* ------------------------------------------------------------ texts */
/* Message of a result code (3000 + |code| for 0 and negative codes, 4000 +
 * code for the component's), at most size-1 bytes and terminated; a code
 * without a text gives "<label> = <code>". Always 0; null out or size <= 0:
 * nothing written. Reads the language folder; no line. */
TAV_API short srvTav_ErrString_Get(int code, int size, char* out);

/* ------------------------------------------------------------ BCD */
/* Conversions between a packed BCD field (byte 0: decimal places in the high
 * nibble, sign in bit 0; then two digits a byte), a double and fixed-width
 * text; code carries the decimal places in bits 8-11, digits is 6, 8 or 10
 * (16: a 40-bit binary integer). Memory only; no pointer may be null.
 * Bcd_to_Double: TAV_E_NOT_BCD for a digit A..F (out still gets the value up
 *   to it) or more places than digits. Double_to_Char / Double_to_Bcd:
 *   TAV_E_RANGE when digits minus places is outside 0..10 (text emptied).
 * int_to_Bcd (12 -> 0x12) and Bcd_to_DoubleChar (the digits as text): 0. */
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
/* servo.set of the installation folder. A failed path look-up returns the
 * component's positive code; TAV_E_NO_FILE when the file does not open. */
/* Reads servo.set into out (defaults for what the file lacks). */
TAV_API short srvTav_Set_Rd(LineSettings* out);
/* Rewrites servo.set from in: port, baud rate, retries, time-out, the tenth
 * value and lines 6-12; the model and the character format (data bits,
 * parity, stop bits, flow) stay as the file has them. */
TAV_API short srvTav_SetWyn_Wt(const LineSettings* in);
/* Rewrites the model name of servo.set ("ETC" for a number without a name);
 * _Wt2 also its three model values (line 5). */
TAV_API short srvTav_SetKisyu_Wt(int model);
TAV_API short srvTav_SetKisyu_Wt2(int model, int value1, int value2, int value3);
/* Copies source (null or empty: none) onto servo.set, then the model's own
 * files into place; the codes of srvTav_File_Copy. */
TAV_API short srvTav_Set_Copy(const char* source);
/* Sets up a serial port from servo.set: port is an open port (a file
 * descriptor cast to a pointer, left open) or null to open the configured
 * one. 0; 1 when the port does not open or take the settings; Set_Rd codes. */
TAV_API short srvTav_Port_Set(void* port);

/* ------------------------------------------------------------ station list */
/* servo.con of the installation folder; files only, no line. Entry numbers
 * 1..50 by place in the list: entry 1 is the first line after the count line
 * (line 3 of servo.con), for the readers and srvTav_AmpData_Wt alike; other
 * numbers give -1. Name buffers hold 500 bytes. Common codes: the component's
 * for a failed path look-up, TAV_E_NO_FILE (does not open), TAV_E_FILE_NAME
 * (line 1 is not "SERVO", or the entry is missing). */
/* Reads / writes the selected entry number (line 1) as text. */
TAV_API short srvTav_Amp_Rd(char* selected /* 8 bytes */);
TAV_API short srvTav_Amp_Wt(const char* selected);
/* Reads entry: count of entries, station, name, connection flag; null
 * outputs are skipped. refresh 1 rewrites the list first (its code). */
TAV_API short srvTav_AmpData_Rd(int entry, int refresh, int* count, int* station, char* name, int* flag);
/* Rewrites entry with station (-1 keeps it) and name (null keeps it), through
 * a temporary file: TAV_E_RANGE outside 0..248 and 999, TAV_E_DUPLICATE for a
 * station another entry uses, -1 for entry. */
TAV_API short srvTav_AmpData_Wt(int entry, int station, const char* name);
/* Counts the entries in use (station not 999) and gives the first of them;
 * null outputs are skipped. The code of reading entry 50 (-5 with fewer). */
TAV_API short srvTav_Yukou_AmpData_Rd(int* count, int* entry, int* station, char* name, int* flag);
/* Station of the selected entry / of entry; the readers' codes. */
TAV_API short srvTav_TargetAmpKyoku_Rd(int* station);
TAV_API short srvTav_SiteiAmpKyoku_Rd(int entry, int* station);

/* ------------------------------------------------------------ line and locks */
/* Opens the line of servo.set (defaults when it is missing) through the
 * component; its result (0, or positive such as 4 "already open"). The
 * caller closes it with Wyn_Net_Close. _Fast opens the same way. */
TAV_API short srvTav_Wyn_Net_Open(void);
TAV_API short srvTav_Wyn_Net_Open_Fast(void);
/* Kept for older hosts; the component locks the port itself. These take and
 * release nothing and accept any (null) arguments: ComPortLock,
 * ComPortLock_quimbel and ComPortUnlock_quimbel return 0, ComPortUnlock 1. */
TAV_API short srvTav_ComPortLock(const void* any, ...);
TAV_API short srvTav_ComPortUnlock(void);
TAV_API short srvTav_ComPortLock_quimbel(int* kind);
TAV_API short srvTav_ComPortUnlock_quimbel(const void* any, ...);
/* Whether another process holds the port of servo.set (its lock file): 0
 * free (also without a lock file), TAV_E_LOCKED; Set_Rd or path codes. port
 * (may be null) receives the COM number 1..9. No line. */
TAV_API short srvTav_ComPortLockUnlockCheck(int* port);
/* Trace lock (a lock file shared between processes): mode 0, 1 or 2 takes it
 * (-1 other modes, TAV_E_LOCKED held elsewhere, TAV_E_NO_FILE when the lock
 * file cannot be created); Unlock releases it and deletes the file (-1 unless
 * mode holds it). Check: state (may be null) 0..2 from the file;
 * TAV_E_LOCKED while any holder has it, this process included. */
TAV_API short srvTav_TraceLock(int mode);
TAV_API short srvTav_TraceUnlock(int mode);
TAV_API short srvTav_TraceLockUnlockCheck(int* state);
/* Copies a text file line by line: TAV_E_SAME_FILE (same path in any letter
 * case, nothing touched), TAV_E_NO_FILE (either does not open, or null). */
TAV_API short srvTav_File_Copy(const char* source, const char* destination);
/* Support link: Init fills record with the paths of servo.set and servo.con;
 * Open copies a settings (.set) or station-list (.con) file into the
 * installation folder and remembers its name; Close copies servo.set (kind
 * 0) or servo.con (kind 1) back to file, or to the remembered name when file
 * is null or empty. TAV_E_FILE_NAME for another kind of file, -1 for another
 * kind number; the copy's codes. Files only. */
TAV_API short srvTav_SupLnk_Init(SupportLinkRecord* record);
TAV_API short srvTav_SupLnk_Open(const char* file, SupportLinkRecord* record);
TAV_API short srvTav_SupLnk_Close(const char* file, int kind, SupportLinkRecord* record);
/* Lock test of the component: takes and releases its port lock forever,
 * showing a message box at each step. Never returns. */
TAV_API void w1_test(void);

/* ------------------------------------------------------------ identification */
/* Reads the identification record of station over a line the caller opened
 * and composes its texts into out (language folder); 0 or the component's
 * code, out untouched on failure. */
TAV_API short srvTav_SysCondition_Rd(int station, AmpIdentification* out);
/* Opens the line, reads the raw record of the selected station of servo.con,
 * closes the line; the first failing step's code (station list, open, read). */
TAV_API short srvTav_Open_SysCondition_Rd_Close(SysConditionRecord* record);
/* Row index (0..9) of the motor table, or the column maxima for any other
 * index; always 0. Memory only. */
TAV_API short srvTav_Motor_Info_Rd(unsigned char index, double* first, double* second, double* third);
/* Model names and numbers, from tables in memory: name of a number (-1
 * unknown, name untouched); number of an exact name (-1 any other text);
 * base number and bus flag of a number (-1 unknown). */
TAV_API short srvGet_NameFromModelNumber(unsigned int number, char* name /* 7 bytes */);
TAV_API short srvGet_ModelNumberFromName(const char* name);
TAV_API short srvGet_AmpModelNumber(unsigned int number, unsigned int* base, unsigned int* bus);
/* Returns value unchanged. */
TAV_API int srvGet_ModelNumberFromAmp(int value);
/* Process-wide amplifier names of the parameter files: the name last read
 * from a file, the name to write (Set copies; null clears), and a selection
 * value the extended-parameter reader sets to 1 when it loads a named file.
 * The pointers stay valid for the life of the process. No line, no files. */
TAV_API char* GetAmpNameFromFile(void);
TAV_API void SetAmpNameForFile(const char* name);
TAV_API char* GetAmpNameForFile(void);
TAV_API void SetAmpNameFromFileSel(unsigned int value);
TAV_API unsigned int GetAmpNameFromFileSel(void);

/* ------------------------------------------------------------ test run */
/* One command each to station over a line the caller opened (no lock); status
 * receives STR1 and STR2, ready bit 1 of STR1. Results: 0, the component's
 * code, or the status-byte code of srvTav_Wyn_STR_ERR_Chk.
 * Status_Rd: the run status. PlaceRunOff: mode 1 starts positioning number
 *   (TAV_E_START_NUMBER outside 1..99), other modes cancel it.
 * ManuPluse_Snd: a jog pulse (direction 1 plus, other minus).
 * RunOnOFF_ManuSpeedSel: run on (1) or off with a manual speed selection.
 * Open_OffONline_Close: opens the line itself, reads the identification
 *   record of the selected station of servo.con into record, switches it
 *   offline (mode 0) or online (1; -1 other modes) unless it already is
 *   (record then holds the command's status bytes), closes the line.
 * ItiDatRunStatus_Rd: the positioning run status with its texts (language
 *   folder); TAV_E_RUN_ERROR, out untouched, when it reports an error. */
TAV_API short srvTav_Status_Rd(int station, unsigned char* status /* 2 */, int* ready);
TAV_API short srvTav_PlaceRunOff(int station, int number, int mode, unsigned char* status, int* ready);
TAV_API short srvTav_ManuPluse_Snd(int station, int direction, unsigned char* status);
TAV_API short srvTav_RunOnOFF_ManuSpeedSel(int station, int on, int speed, unsigned char* status);
TAV_API short srvTav_Open_OffONline_Close(int mode, unsigned char* record /* 17 */);
TAV_API short srvTav_ItiDatRunStatus_Rd(int station, PositioningRunStatus* out);

/* ------------------------------------------------------------ direct access */
/* STR_ERR_Chk: the code of the status bytes (0, TAV_E_STR_REFUSED,
 * TAV_E_WRITE_PROTECTED, TAV_E_STR_DATA, _TRANSMISSION, _INITIALISING).
 * General_Acs / Primitive_Acs: one raw frame to the device memory over a line
 * the caller opened, under the component's mutex; the reply (replyLength
 * bytes) lands in reply. The component's code, 1 when the mutex is not
 * granted, -1 for a combination General_Acs refuses. data may be null when
 * its length is 0; Primitive_Acs ignores station. */
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

/* Definitions and working set, in memory (no line). Parameter numbers run
 * 1..nParaCount: -1 outside; TAV_E_FIXED_PARAMETER for one without
 * attribute (wAttr 0) where noted. */
/* Fills set from definition file n of kind (0 parameters, 1 system, 2
 * hidden) of the installation folder: 0, the component's path code,
 * TAV_E_NO_FILE. Reads a file. */
TAV_API short srvTav_ParaIni_Rd(int n, int kind, ParaSet* set);
/* Copies parameter no (all but nParaNo) to out: 0, -1, -6. */
TAV_API short srvTav_Para_Dat_Rd(ParaSet* set, int no, ParaRecord* out);
/* Checks value against the parameter's range and stores it, marking it
 * changed: 0, -1, TAV_E_RANGE, or the re-derivation's code (selector). */
TAV_API short srvTav_Para_Dat_Chg(ParaSet* set, int no, double value);
/* Resets parameter no to its initial value: 0, -1, -6. */
TAV_API short srvTav_Para_Dat_Init(ParaSet* set, int no);
/* szSubTitle of no (0, -1, -6); value text idx 1..8 of no (-1 out of range
 * or empty, out then empty). */
TAV_API short srvTav_Para_SubTile_Rd(ParaSet* set, int no, char* out /* 40 */);
TAV_API short srvTav_Para_ValueString_Rd(ParaSet* set, int no, int idx, char* out /* 40 */);
/* Name of group grp of the set's kind and model from the language folder;
 * always 0, out empty when there is none. */
TAV_API short srvTav_StdSyp_GrpNmae_Rd(ParaSet* set, int grp, char* out /* 100 */);
/* Parameter number carrying identification code codeNo (-1 unknown code,
 * empty set, not found); code number of parameter no (100 none; -1 range). */
TAV_API short srvTav_Para_Skubun_No_Rd(ParaSet* set, int codeNo, int dir, int* no);
TAV_API short srvTav_Para_No_Skubun_Rd(ParaSet* set, int no, int* codeNo);
/* Parameter file (.k7p, .syp); files only. */
/* Loads the definition of kind (0..2, else -1), then file when named (null or
 * empty: the definition alone): 0, TAV_E_NO_FILE, TAV_E_FILE_NAME (not a
 * parameter file of a known model, or empty), the path code, TAV_E_CANCELLED. */
TAV_API short srvTav_Para_Rd(const char* file, int kind, ParaSet* set);
/* Writes set to file (null or empty: szFileName), replacing it whole; a
 * ".csv" name writes the CSV export. TAV_E_NO_TARGET_FILE (no name),
 * TAV_E_FILE_NAME (short or wrong kind), TAV_E_READ_ONLY (cannot be
 * created), TAV_E_DISK_FULL, TAV_E_CANCELLED. */
TAV_API short srvTav_Para_Wt(const char* file, ParaSet* set);
/* A fresh set of model and kind from its definition, values initial. */
TAV_API short srvTav_Para_Create(int model, int kind, ParaSet* set);
/* Memory only: szFileName = name (-1 null or empty); copy of the comment
 * (0); new comment (-1, comment kept, for null or 2048 characters or more). */
TAV_API short srvTav_Para_FileName_Chg(ParaSet* set, const char* name);
TAV_API short srvTav_Para_FileCmt_Rd(ParaSet* set, char* out /* 2048 */);
TAV_API short srvTav_Para_FileCmt_Wt(ParaSet* set, const char* text);
/* Header fields for the host to show (nInterface, nInfo17 of out kept;
 * always 0) and to apply after an edit (a model or kind change rebuilds the
 * set from its definition: the codes of srvTav_Para_Create or of the
 * re-derivation). */
TAV_API short srvTav_Para_Property_Rd(ParaSet* set, ParaProperty* out);
TAV_API short srvTav_Para_Property_Wt(ParaSet* set, const ParaProperty* in);
/* Transfer with the servo operator. station null: the file (Para_Rd /
 * Para_Wt, no line). Otherwise station is an entry of servo.con as text:
 * opens the line of servo.set (TAV_E_OPEN_DEVICE), checks the device is the
 * servo operator (TAV_E_NOT_OPERATOR), moves the parameters in blocks
 * posting TAV_WM_PROGRESS, stops on set->nCancel = -31 (TAV_E_CANCELLED),
 * closes the line on every path. Also TAV_E_STATION (entry without
 * amplifier), TAV_E_LOCKED, TAV_E_WRITE_PROTECTED, per-parameter codes in
 * nResult, the component's positive codes; nProgressDone is -1 after a
 * failure.
 * ComRd reads kind into set; ComWt sends the changed parameters (sendAll 1:
 *   all), first checking their ranges (the failing code, nResult set) and
 *   TAV_E_NOTHING_TO_SEND when none changed.
 * Amp_Rd / Amp_Wt: the block transfers alone, on a line the caller opened;
 *   station is an entry number as text. */
TAV_API short srvTav_Para_ComRd(const char* file, const char* station, int kind, ParaSet* set);
TAV_API short srvTav_Para_ComWt(const char* file, const char* station, int reserved, int sendAll, ParaSet* set);
TAV_API short srvTav_Para_Amp_Rd(const char* station, ParaSet* set);
TAV_API short srvTav_Para_Amp_Wt(const char* station, int sendAll, ParaSet* set);
/* Re-derives ranges and decimal places from the selector parameter ("SS");
 * changed 1 after it changed or a read, withTexts 1 rebuilds the range
 * texts (language folder). 0 or the last value formatting's code. */
TAV_API short srvTav_Para_Syousuh_Chg(ParaSet* set, int changed, int withTexts, int reserved);
/* Listing and CSV export. */
/* Page image of the set (language folder): 0 or the last formatting code. */
TAV_API short srvTav_ParaPrint_Mak(ParaSet* set, ParaPrint* out);
/* Writes the CSV listing to file: TAV_E_NO_FILE (cannot be created),
 * TAV_E_DISK_FULL, or ParaPrint_Mak's failure (the file is then removed). */
TAV_API short srvTav_ParaCsvType_Wt(const char* file, ParaSet* set);
/* Label and content of information item 1..12 (others: out empty); 0. */
TAV_API short srvTav_Para_Ctl_Inf_Rd(ParaSet* set, int item, char* out /* TAV_PARA_INFO_SIZE */);
/* Splits szFileName into drive, folder and base name and builds the page
 * title (page name + base name); null outputs are skipped; 0. Memory only.
 * drive 3, dir and name TAV_PATH_MAX, spare1 and spare2 TAV_PATH_MAX, title 400 bytes. */
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

/* Definitions and accessors, in memory unless noted. Texts out: szSubTitle
 * and value texts 40 bytes; srvTav_NewParaTitle_Rd: drive 3, dir and name
 * TAV_PATH_MAX, out4/out5 1, title 400 bytes; srvTav_NewPara_Ctl_Inf_Rd: out
 * 2200 bytes. Parameter numbers run 1..nParaCount (-1 outside). */
/* Fills set from the KESTA7 (Ini_Rd) or KESTA7 Mini (Ini_Rd2) definition file
 * of control type model (0..3), interface and kind: 0, the component's path
 * code, TAV_E_NO_FILE. Reads a file. */
TAV_API short srvTav_NewParaIni_Rd(int model, int interfaceCode, int kind, NewParaSet* set);
TAV_API short srvTav_NewParaIni_Rd2(int model, int interfaceCode, int kind, NewParaSet* set);
/* Splits szFileName into drive, folder and base name and builds the page
 * title of nKind (language folder); null outputs are skipped; 0. */
TAV_API short srvTav_NewParaTitle_Rd(NewParaSet* set, char* drive, char* dir, char* name, char* out4, char* out5, char* title);
/* Copies parameter no (0, -1, TAV_E_FIXED_PARAMETER for wAttr 0), its
 * szSubTitle (the same codes) or its value text idx 1..10 (-1 out of range or
 * empty). */
TAV_API short srvTav_NewPara_Dat_Rd(NewParaSet* set, int no, NewParaRecord* out);
TAV_API short srvTav_NewPara_SubTile_Rd(NewParaSet* set, int no, char* out);
TAV_API short srvTav_NewPara_ValueString_Rd(NewParaSet* set, int no, int idx, char* out);
/* Parameter number carrying code number codeNo (-1: code not in 0-10, 12,
 * 14-16, 20, empty set, not found); code number of no (100 none; -1 range). */
TAV_API short srvTav_NewPara_Skubun_No_Rd(NewParaSet* set, int codeNo, int dir, int* no);
TAV_API short srvTav_NewPara_No_Skubun_Rd(NewParaSet* set, int no, int* codeNo);
/* Stores a new value of no, marked changed (0, -1, or the reconciliation's
 * code when no is the selector "SS"); resets no to dInitial (0, -1, -6). */
TAV_API short srvTav_NewPara_Dat_Chg(NewParaSet* set, int no, double value);
TAV_API short srvTav_NewPara_Dat_Init(NewParaSet* set, int no);
/* Reconciles decimal positions and ranges with the selector and the motor:
 * rescaleValues, rebuildTexts (language folder), markChanged count when 1,
 * applyMotor when not 0. 0 or the last range-text formatting's code. */
TAV_API short srvTav_NewPara_Syousuh_Chg(NewParaSet* set, int rescaleValues, int rebuildTexts, int markChanged, int applyMotor);
/* Parameter file (.k7p / .syp) and properties; files only, no line. */
/* Loads the definition of kind, then path when it names a file: 0,
 * TAV_E_NO_FILE, TAV_E_FILE_NAME (not a parameter file of a known model),
 * the component's path code, TAV_E_CANCELLED. */
TAV_API short srvTav_NewPara_Rd(const char* path, int kind, NewParaSet* set);
/* Writes set to path (null or empty: szFileName), replacing the file whole;
 * a ".csv" name writes the CSV export. TAV_E_NO_TARGET_FILE, TAV_E_FILE_NAME,
 * TAV_E_READ_ONLY (cannot be created), TAV_E_DISK_FULL, TAV_E_CANCELLED. */
TAV_API short srvTav_NewPara_Wt(const char* path, NewParaSet* set);
/* An empty set (definition values only) of model number and kind; the codes
 * of NewPara_Rd. */
TAV_API short srvTav_NewPara_Create(int model, int kind, NewParaSet* set);
/* Memory only: szFileName = name (-1 null or empty); copy of the comment
 * (0); new comment (-1, comment kept, for null or 2048 characters or more). */
TAV_API short srvTav_NewPara_FileName_Chg(NewParaSet* set, const char* name);
TAV_API short srvTav_NewPara_FileCmt_Rd(NewParaSet* set, char* out);
TAV_API short srvTav_NewPara_FileCmt_Wt(NewParaSet* set, const char* text);
/* Header fields to show (nInterface, nInfo17 of out kept; 0) and to apply
 * after an edit (0, NewPara_Create's codes when the model changes, or the
 * reconciliation's). */
TAV_API short srvTav_NewPara_Property_Rd(NewParaSet* set, NewParaProperty* out);
TAV_API short srvTav_NewPara_Property_Wt(NewParaSet* set, const NewParaProperty* prop);
/* Information line item 1..12 for listings and the host (others: out empty);
 * lines (may be null) receives 9. 0. */
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
 *   the amplifier, with the same lock, progress, cancellation and codes;
 *   first the range check (its code, nResult set) and TAV_E_NOTHING_TO_SEND
 *   when none changed; TAV_E_WRITE_PROTECTED when the amplifier refuses.
 * srvTav_NewPara_ComInitWt: writes the initial values of every parameter to
 *   the amplifier named in set->szAmpNo (left by the last read), as ComWt.
 * srvTav_NewPara_Amp_Rd / _Amp_Wt / _Amp_Ini_Wt: the block transfers alone
 *   (read, write current values, write initial values) on a line the caller
 *   opened; stationText (the station number as text) must not be null. */
TAV_API short srvTav_NewPara_ComRd(const char* path, const char* stationText, int kind, NewParaSet* set, int first, int last);
TAV_API short srvTav_NewPara_ComWt(const char* path, const char* stationText, int reserved, int all, NewParaSet* set);
TAV_API short srvTav_NewPara_ComInitWt(NewParaSet* set);
TAV_API short srvTav_NewPara_Amp_Rd(const char* stationText, NewParaSet* set, int first, int last);
TAV_API short srvTav_NewPara_Amp_Wt(const char* stationText, int all, NewParaSet* set);
TAV_API short srvTav_NewPara_Amp_Ini_Wt(const char* stationText, int reserved, NewParaSet* set);
/* Listing and CSV export. */
/* The listing of the set (texts from the language folder); 0. */
TAV_API short srvTav_NewParaPrint_Mak(NewParaSet* set, NewParaPrint* out);
/* Writes the CSV listing to path: -1 (null or empty path), TAV_E_NO_FILE
 * (cannot be created), TAV_E_DISK_FULL, or NewParaPrint_Mak's code. */
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

/* Editing in memory (no line, no files). A point number is valid from 1 to
 * nPointCount (-1 else). */
/* Resets point no (ABS/INC 1, values 0, changed); nMValid, nMTiming kept. 0. */
TAV_API short srvTav_ItiDat_Init(ItiDatSet* set, int no);
/* Stores the nine values into no and marks it changed (nChgFlag 1); values
 * are checked only when sent; the diagnostic marker files are looked at.
 * Insert first moves points no.. one place on (the last is lost; moved
 * points get nChgFlag 2 unless 1). 0 or -1. */
TAV_API short srvTav_ItiDat_Chg(ItiDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed, double stopTimer, int mCode, int mValid, int mTiming);
TAV_API short srvTav_ItiDat_Insert(ItiDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed, double stopTimer, int mCode, int mValid, int mTiming);
/* Copies point no; leaves out->nMValid and out->nMTiming as they were. */
TAV_API short srvTav_ItiDat_Rd(ItiDatSet* set, int no, ItiDatPoint* out);
/* Sets wStopPosDp (0..5) / wStopTimeDp (0..1), re-reading every stop
 * position / stop timer with the new decimal point; -1 out of range. */
TAV_API short srvTav_ItiAtt_Chg(ItiDatSet* set, unsigned short dp);
TAV_API short srvTav_ItiAtt_Chg2(ItiDatSet* set, unsigned short code);
/* szFileName = name (-1 null or empty); copy of the comment (0); new comment
 * (-1, comment kept, at 2048 characters or more; null empties it). */
TAV_API short srvTav_ItiDat_FileName_Chg(ItiDatSet* set, const char* name);
/* out holds 2058 bytes. */
TAV_API short srvTav_ItiDat_FileCmt_Rd(ItiDatSet* set, char* out);
TAV_API short srvTav_ItiDat_FileCmt_Wt(ItiDatSet* set, const char* text);
/* Splits szFileName into drive, folder and base name and builds the page
 * title (language folder); 0. Each output holds TAV_PATH_MAX bytes; null
 * outputs are skipped. */
TAV_API short srvTav_ItiTitle_Rd(ItiDatSet* set, char* drive, char* dir, char* baseName, char* out4, char* out5, char* title);

/* Files (".k7l"; a ".csv" name writes the CSV export); no line.
 * Fil_Rd fills the whole set from fileName, or from the template of the
 * current model (servo.set) when it is null or empty: TAV_E_FILE_NAME (not a
 * positioning file), TAV_E_NO_FILE, TAV_E_CANCELLED, Set_Rd or path codes.
 * Fil_Wt replaces fileName (null or empty: szFileName) whole: also
 * TAV_E_NO_TARGET_FILE, TAV_E_READ_ONLY, TAV_E_DISK_FULL, TAV_E_RANGE.
 * Fil_Create: a new set from the template of model number model. */
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
 *   opened (srvTav_Wyn_Net_Open); AmpRd's ampText must not be null, AmpWt
 *   sends to the selected station of servo.con.
 * srvTav_ItiAtt_AmpRd: opens the line and reads the amplifier's two decimal
 *   points (stored only on success): TAV_E_NOT_KESTA7 / _MINI,
 *   TAV_E_NOT_L_TYPE, TAV_E_LOCKED, TAV_E_OPEN_DEVICE, 1 when the extended
 *   definitions lack them, the component's codes.
 * srvTav_ItiNoDat_Rd: point no of station, live, over a line the caller
 *   opened (no lock); the component's or the status-byte code, out untouched. */
TAV_API short srvTav_ItiDat_ComRd(const char* fileName, const char* ampText, ItiDatSet* set);
TAV_API short srvTav_ItiDat_ComWt(const char* fileName, const char* ampText, int writeAll, ItiDatSet* set);
TAV_API short srvTav_ItiDat_AmpRd(const char* ampText, ItiDatSet* set);
TAV_API short srvTav_ItiDat_AmpWt(const char* ampText, int writeAll, ItiDatSet* set);
TAV_API short srvTav_ItiAtt_AmpRd(const char* ampText, unsigned short* stopPosDp, unsigned short* stopTimeDp);
TAV_API short srvTav_ItiNoDat_Rd(int station, int no, ItiNoDatInfo* out);

/* Listing and CSV export (texts from the language folder).
 * Print_mak fills out: 0, the last stop-timer conversion's code, or
 *   TAV_E_RANGE when wStopTimeDp is above 4 (out filled all the same).
 * Ctl_Inf_Rd: description line index 1..12 into out (2200 bytes; -1 and empty
 *   outside), 9 into lineCount; both may be null.
 * CsvType_Wt: writes the CSV listing to fileName: -1 (no name), TAV_E_NO_FILE
 *   (cannot be created), TAV_E_DISK_FULL, or Print_mak's code. */
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

/* Editing in memory, as the positioning table's functions of the same names
 * (Init also clears the two times; Chg and Insert take them after speed).
 * A point number is valid from 1 to nPointCount (-1 else). */
TAV_API short srvTav_ItiVvDat_Init(ItiVvDatSet* set, int no);
TAV_API short srvTav_ItiVvDat_Chg(ItiVvDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed, double accelTime, double decelTime, double stopTimer, int mCode, int mValid, int mTiming);
TAV_API short srvTav_ItiVvDat_Insert(ItiVvDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed, double accelTime, double decelTime, double stopTimer, int mCode, int mValid, int mTiming);
/* Closes the gap at no (later points move back, marked 2 unless 1); the
 * last point is reset and marked 2. 0 or -1. */
TAV_API short srvTav_ItiVvDat_Delete(ItiVvDatSet* set, int no);
/* Leaves out->nMValid and out->nMTiming as they were. */
TAV_API short srvTav_ItiVvDat_Rd(ItiVvDatSet* set, int no, ItiVvDatPoint* out);
/* Decimal points as srvTav_ItiAtt_Chg / _Chg2; Att_Rd gives wStopPosDp (0). */
TAV_API short srvTav_ItiVvAtt_Chg(ItiVvDatSet* set, unsigned short dp);
TAV_API short srvTav_ItiVvAtt_Chg2(ItiVvDatSet* set, unsigned short code);
TAV_API short srvTav_ItiVvAtt_Rd(ItiVvDatSet* set, unsigned short* dp);
/* Title, file name and comment as srvTav_ItiTitle_Rd and the srvTav_ItiDat_
 * ones. Each output holds TAV_PATH_MAX bytes; null outputs are skipped. */
TAV_API short srvTav_ItiVvTitle_Rd(ItiVvDatSet* set, char* drive, char* dir, char* baseName, char* out4, char* out5, char* title);
TAV_API short srvTav_ItiVvDat_FileName_Chg(ItiVvDatSet* set, const char* name);
/* out holds 2058 bytes. */
TAV_API short srvTav_ItiVvDat_FileCmt_Rd(ItiVvDatSet* set, char* out);
TAV_API short srvTav_ItiVvDat_FileCmt_Wt(ItiVvDatSet* set, const char* text);

/* Files (".k7v" KESTA7, ".m7v" KESTA7 Mini; a ".csv" name writes the CSV
 * export). A null or empty name reads the VV template of the current model.
 * Files only; the codes of srvTav_ItiDatFil_Rd / _Wt / _Create. */
TAV_API short srvTav_ItiVvDatFil_Rd(const char* fileName, ItiVvDatSet* set);
TAV_API short srvTav_ItiVvDatFil_Wt(const char* fileName, ItiVvDatSet* set);
TAV_API short srvTav_ItiVvDatFil_Create(int model, ItiVvDatSet* set);

/* Transfers as the positioning table's (a null ampText works on the file;
 * lock, line, progress, cancellation and codes alike), with
 * TAV_E_NOT_VV_TYPE for an amplifier that is not a V type with interface 0,
 * TAV_E_NOT_OPERATOR when station 0 is not the servo operator, and
 * TAV_E_STATION for a selected entry without amplifier. The line of a write
 * carries an announce, the identification and a closing access around the
 * points. */
TAV_API short srvTav_ItiVvDat_ComRd(const char* fileName, const char* ampText, ItiVvDatSet* set);
TAV_API short srvTav_ItiVvDat_ComWt(const char* fileName, const char* ampText, int writeAll, ItiVvDatSet* set);
TAV_API short srvTav_ItiVvDat_AmpRd(const char* ampText, ItiVvDatSet* set);
TAV_API short srvTav_ItiVvDat_AmpWt(const char* ampText, int writeAll, ItiVvDatSet* set);
/* Opens the line and writes every point, unchecked, to the amplifier named
 * in szAmpNo; the transfer codes above. */
TAV_API short srvTav_ItiVvDat_InitWt(ItiVvDatSet* set);
/* As srvTav_ItiAtt_AmpRd, checking for a V type (TAV_E_NOT_VV_TYPE) and the
 * servo operator's family (TAV_E_NOT_OPERATOR) instead. */
TAV_API short srvTav_ItiVvAtt_AmpRd(const char* ampText, unsigned short* stopPosDp, unsigned short* stopTimeDp);

/* Listing and CSV export, as the positioning table's (results alike). out of
 * srvTav_ItiVvDat_Ctl_Inf_Rd holds 2200 bytes. */
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
 *   every output of the *Title_Rd functions, lineCount/lines of the
 *   *_Ctl_Inf_Rd functions and out of srvTav_ItiDat_Ctl_Inf_Rd and
 *   srvTav_ItiVvDat_Ctl_Inf_Rd (skipped); station of srvTav_Para_Amp_Rd and
 *   srvTav_Para_Amp_Wt (entry 0) and ampText of srvTav_ItiDat_AmpWt and
 *   srvTav_ItiVvDat_AmpWt (not used);
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
