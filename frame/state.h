// The frame layer's piece of the process context: what the C interface sets
// once for the whole process and every call reads.
#pragma once

#include "frame/frame.h"

namespace tav::frame {

struct State {
    Switches switches;
    char version[12] = "";           // "HD-V" and the host's text
    HWND progressWindow = nullptr;   // where progress goes; none by default
    unsigned lastRate = 0;           // a repeated percentage is not posted again
};

// The one instance, made at first use.
inline State& state() {
    static State s;
    return s;
}

}  // namespace tav::frame
