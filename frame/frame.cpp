// Process-wide switches, marker check, version string, progress and trace.
#include "frame/state.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "comm/comm.h"
#include "platform/platform.h"

namespace tav::frame {

namespace {

constexpr int kTraceMarker = 1001;
constexpr int kForceVelMarker = 1010;
constexpr int kFirstDecimalMarker = 1013;  // 1013..1018 give decimal codes 0..5

}  // namespace

Switches& switches() { return state().switches; }

bool marker_exists(int id) {
    char path[TAV_PATH_MAX];
    if (comm::full_path(id, path) != 0) return false;
    return tavplat::file_exists_rw(path);
}

int CheckDiagnosticMarkers() {
    Switches& s = switches();
    if (s.probeGate == 1) {
        s.forceVel = marker_exists(kForceVelMarker) ? 1 : 0;
        s.forceRor = marker_exists(kForceVelMarker + 1) ? 1 : 0;
        s.forceLin = marker_exists(kForceVelMarker + 2) ? 1 : 0;
        // A later marker overwrites an earlier one; absent ones leave the code.
        for (int code = 0; code <= 5; ++code)
            if (marker_exists(kFirstDecimalMarker + code)) s.forcedDecimal = code;
    }
    return marker_exists(kTraceMarker) ? 1 : 0;
}

int CheckDiagnosticMarkersWithProbe() {
    switches().probeGate = 1;
    const int trace = CheckDiagnosticMarkers();
    switches().probeGate = 0;
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
    char v[sizeof State::version];
    std::snprintf(v, sizeof v, "HD-V%s", text ? text : "");
    std::memcpy(state().version, v, sizeof v);
}

void GetVersion(char* out) {
    const char* version = state().version;
    if (out) std::memcpy(out, version, std::strlen(version) + 1);
}

void SetProgressRateHwnd(HWND window) { state().progressWindow = window; }

void SendProgressRate(unsigned rate) {
    State& s = state();
    if (s.progressWindow == nullptr) return;
    if (rate != 0 && rate == s.lastRate) return;
    tavplat::PostMessageA(s.progressWindow, TAV_WM_PROGRESS, rate, 0);
    s.lastRate = rate;
}

void SendCmdProcCmp() {
    HWND window = state().progressWindow;
    if (window != nullptr) tavplat::PostMessageA(window, TAV_WM_CMD_DONE, 0, 0);
}

}  // namespace tav::frame
