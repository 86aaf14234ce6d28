// Every C entry runs its C++ body through this guard: nothing thrown inside
// the library may cross the C boundary.
#pragma once

#include "Tav_acs.h"

namespace tav::exports {

constexpr short kInternalFailure = TAV_E_VALUE;

template <class Body>
short guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return kInternalFailure;
    }
}

}  // namespace tav::exports
