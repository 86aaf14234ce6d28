#include "wire/mutex.h"

#include "platform/platform.h"

namespace tavwire {

std::string mutex_path() { return tavplat::wyn_home() + "/lock/wynapi.mtx"; }

}  // namespace tavwire
