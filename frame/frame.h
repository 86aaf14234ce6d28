// Process-wide state and services every part of the library shares: the
// diagnostic switches, the text-field readers, version, progress and trace.
#pragma once

#include <cstddef>

#include "Tav_acs.h"

namespace tav::frame {

// ------------------------------------------------------------------ switches
// Set from marker files by CheckDiagnosticMarkers (probe gate open).
struct Switches {
    int forceVel = 0;        // marker 1010
    int forceRor = 0;        // marker 1011
    int forceLin = 0;        // marker 1012
    int forcedDecimal = -1;  // markers 1013..1018 give 0..5; never set back to -1
    int printForm = 0;       // number-to-text in print form (blanks, not zeros)
    int probeGate = 0;       // 1 lets the marker check refresh the flags above
};
Switches& switches();

// Sets the print-form flag for the lifetime of the guard, then clears it.
class PrintFormScope {
public:
    PrintFormScope() { switches().printForm = 1; }
    ~PrintFormScope() { switches().printForm = 0; }
    PrintFormScope(const PrintFormScope&) = delete;
    PrintFormScope& operator=(const PrintFormScope&) = delete;
};

// Opens the probe gate around one marker check, then closes it.
int CheckDiagnosticMarkersWithProbe();
// Refreshes the switches (when the probe gate is open); 1 when the trace
// marker (id 1001) exists, else 0.
int CheckDiagnosticMarkers();
// True when the marker file of the path id exists (openable read/write).
bool marker_exists(int id);

// -------------------------------------------------------------- field readers
// The byte classes: a control byte is below 32 as a signed byte (so 0x80..0xFF
// count as control bytes); a blank is the space.
const char* GetCommaField(const char* src, char* dst);
const char* GetCommaFieldAllowEmpty(const char* src, char* dst);
const char* GetTabField(const char* src, char* dst);
const char* GetCommaText(const char* src, char* dst);
const char* GetTabText(const char* src, char* dst);

// Bounded variants: dst holds dstSize bytes; a longer field is cut (the
// reader still advances past the whole field). Prefer these in new code.
const char* GetCommaField(const char* src, char* dst, std::size_t dstSize);
const char* GetCommaFieldAllowEmpty(const char* src, char* dst, std::size_t dstSize);
const char* GetTabField(const char* src, char* dst, std::size_t dstSize);
const char* GetCommaText(const char* src, char* dst, std::size_t dstSize);
const char* GetTabText(const char* src, char* dst, std::size_t dstSize);

// ---------------------------------------------------------------- trace
// The trace output formats and discards; kept as functions so that the
// trace lines are built exactly where the system builds them.
void trace(const char* label, int result);
void tracef(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// ------------------------------------------------------- version, progress
void SetVersion(const char* text);
void GetVersion(char* out);
void SetProgressRateHwnd(HWND window);
void SendProgressRate(unsigned rate);
void SendCmdProcCmp();

}  // namespace tav::frame
