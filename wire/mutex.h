// The component's cross-process mutex file: the component takes it around
// its exchanges; the simulator holds it when told to refuse the component.
#pragma once

#include <string>

namespace tavwire {

// Path of the mutex file below $WYN_HOME.
std::string mutex_path();

}  // namespace tavwire
