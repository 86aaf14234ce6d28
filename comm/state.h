// The comm layer's piece of the process context: the component binding.
#pragma once

#include "comm/comm.h"

namespace tav::comm {

struct State {
    const WynApi* binding = nullptr;  // null: libwynapi.so; tests install a fake
};

// The one instance, made at first use.
inline State& state() {
    static State s;
    return s;
}

}  // namespace tav::comm
