// The iti layer's piece of the process context.
#pragma once

#include "iti/iti.h"

namespace tav::iti {

struct State {
    DecimalParamFinder finder = nullptr;  // null: newpara::decimal_point_params
};

// The one instance, made at first use.
inline State& state() {
    static State s;
    return s;
}

}  // namespace tav::iti
