// Process-wide switches, marker check, version string, progress and trace.
#include "frame/frame.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "comm/comm.h"
#include "platform/platform.h"

namespace tav::frame {

namespace {

Switches g_switches;
char g_version[12] = "";
HWND g_progressWindow = nullptr;
unsigned g_lastRate = 0;

constexpr int kTraceMarker = 1001;
constexpr int kForceVelMarker = 1010;
constexpr int kFirstDecimalMarker = 1013;  // 1013..1018 give decimal codes 0..5

}  // namespace

Switches& switches() { return g_switches; }

bool marker_exists(int id) {
    char path[TAV_PATH_MAX];
    if (comm::full_path(id, path) != 0) return false;
    return tavplat::file_exists_rw(path);
}

int CheckDiagnosticMarkers() {
    if (g_switches.probeGate == 1) {
        g_switches.forceVel = marker_exists(kForceVelMarker) ? 1 : 0;
        g_switches.forceRor = marker_exists(kForceVelMarker + 1) ? 1 : 0;
        g_switches.forceLin = marker_exists(kForceVelMarker + 2) ? 1 : 0;
        // A later marker overwrites an earlier one; absent ones leave the code.
        for (int code = 0; code <= 5; ++code)
            if (marker_exists(kFirstDecimalMarker + code)) g_switches.forcedDecimal = code;
    }
    return marker_exists(kTraceMarker) ? 1 : 0;
}

int CheckDiagnosticMarkersWithProbe() {
    g_switches.probeGate = 1;
    const int trace = CheckDiagnosticMarkers();
    g_switches.probeGate = 0;
    return trace;
}

void trace(const char*, int) {}

void tracef(const char* fmt, ...) {
    // The line is formatted as the system formats it, then discarded.
    char line[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
}

void SetVersion(const char* text) {
    char v[sizeof g_version];
    std::snprintf(v, sizeof v, "HD-V%s", text ? text : "");
    std::memcpy(g_version, v, sizeof v);
}

void GetVersion(char* out) {
    if (out) std::memcpy(out, g_version, std::strlen(g_version) + 1);
}

void SetProgressRateHwnd(HWND window) { g_progressWindow = window; }

void SendProgressRate(unsigned rate) {
    if (g_progressWindow == nullptr) return;
    if (rate != 0 && rate == g_lastRate) return;
    tavplat::PostMessageA(g_progressWindow, TAV_WM_PROGRESS, rate, 0);
    g_lastRate = rate;
}

void SendCmdProcCmp() {
    if (g_progressWindow != nullptr) tavplat::PostMessageA(g_progressWindow, TAV_WM_CMD_DONE, 0, 0);
}

}  // namespace tav::frame
