// The device side of the line protocol: the simulator decoding requests and
// running them. Even first bytes feed the bytes raw (noise, partial and
// garbled frames); odd ones build well-formed frames from the input so the
// command handlers see every kind of data part.
#include <vector>

#include "fuzz/fuzz_common.h"
#include "sim/engine.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tavfuzz::home();
    return 0;
}

static void check_reply(const std::vector<uint8_t>& out) {
    if (out.empty()) return;
    tavwire::Decoder d;
    bool complete = false;
    for (uint8_t b : out) {
        const tavwire::DecodeResult r = d.push(b);
        if (r == tavwire::DecodeResult::kGarbled) std::abort();  // the device never sends garbage
        if (r == tavwire::DecodeResult::kFrame) {
            complete = true;
            const tavwire::Frame& f = d.frame();
            if (f.data.size() < 2) std::abort();  // STR1, STR2 always
        }
    }
    if (!complete) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    tavsim::Engine engine;
    if (data[0] % 2 == 0) {
        engine.receive(data + 1, size - 1);
        return 0;
    }
    // Frames: station, command, length byte, that many data bytes.
    size_t i = 1;
    uint8_t seq = 0;
    while (i + 3 <= size) {
        tavwire::Frame rq;
        rq.station = data[i] % 4 == 3 ? data[i] : data[i] % 3;
        rq.command = data[i + 1];
        rq.sequence = ++seq;
        const size_t n = data[i + 2];
        i += 3;
        const size_t take = n < size - i ? n : size - i;
        rq.data.assign(data + i, data + i + take);
        i += take;
        const std::vector<uint8_t> raw = tavwire::encode(rq);
        const std::vector<uint8_t> out = engine.receive(raw.data(), raw.size());
        if (rq.station <= tavwire::kMaxStation && !rq.is_reply() && engine.device(rq.station) != nullptr)
            check_reply(out);
        if (seq % 4 == 0) engine.advance(250);
    }
    return 0;
}
