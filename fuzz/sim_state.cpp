// The simulator's state file (JSON, also the control messages of a line).
#include <string>

#include "fuzz/fuzz_common.h"
#include "sim/engine.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tavfuzz::home();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    tavsim::Engine engine;
    std::string error;
    if (!engine.from_json(text, &error)) {
        engine.control(text, &error);
        return 0;
    }
    // What was accepted serialises and reads back.
    tavsim::Engine again;
    if (!again.from_json(engine.to_json(), &error)) std::abort();
    // And the line still answers an identification request of every station.
    for (int station : {0, 1, 2}) {
        tavwire::Frame rq;
        rq.station = static_cast<uint8_t>(station);
        rq.command = tavwire::kCmdIdent;
        rq.sequence = 1;
        const std::vector<uint8_t> raw = tavwire::encode(rq);
        engine.receive(raw.data(), raw.size());
    }
    return 0;
}
