// The itivv layer's piece of the process context.
#pragma once

#include "itivv/itivv.h"

namespace tav::itivv {

struct State {
    iti::DecimalParamFinder finder = nullptr;  // null: newpara::decimal_point_params
};

// The one instance, made at first use.
inline State& state() {
    static State s;
    return s;
}

}  // namespace tav::itivv
