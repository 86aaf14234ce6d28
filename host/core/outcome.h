// What a host-core call reports: the library's result code and, for a
// refusal or failure, which text of the host table says what went wrong and
// the values that fill it (file, entry, station, parameter, range). The front
// end renders it in its language; the core never prints.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/core/texts.h"

namespace tavhost::core {

struct Outcome {
    int code = 0;            // 0 success, else a library or communication result code
    Msg msg = Msg::None;     // the host text that explains a failure
    std::vector<std::string> args;
    Msg field = Msg::None;   // a word of the host table shown as argument 1 (a point's field)

    bool ok() const { return code == 0; }
};

inline Outcome success() { return {}; }
inline Outcome failure(int code, Msg msg, std::vector<std::string> args = {}) {
    return Outcome{code, msg, std::move(args)};
}

}  // namespace tavhost::core
