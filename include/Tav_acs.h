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

#ifdef __cplusplus
}
#endif

#endif /* TAV_ACS_H */
