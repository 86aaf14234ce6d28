// The line layer's piece of the process context: the trace lock this
// process holds, the amplifier-name texts of the data files and the state of
// a station-list refresh.
#pragma once

#include "line/line.h"
#include "platform/platform.h"

namespace tav::line {

// The trace lock between TraceLock and TraceUnlock: its handle holds the lock.
struct TraceHolder {
    tavplat::FileHandle handle = tavplat::kInvalidFile;
    char path[TAV_PATH_MAX] = {};
    int mode = 0;
};

struct State {
    TraceHolder traceHolder;
    char nameFromFile[kAmpNameSize] = {};  // the last file's "ampname=" line
    char nameForFile[kAmpNameSize] = {};   // what the next file writes there
    unsigned nameFromFileSel = 0;
    // Set while AmpData_Rd rewrites an entry from the line: the rewrite then
    // stores the connection result as the flag.
    bool refreshing = false;
    int connectionResult = 0;
};

// The one instance, made at first use.
inline State& state() {
    static State s;
    return s;
}

}  // namespace tav::line
