// The line of the component: a byte transport (serial device or the
// in-process simulator) and the exchange of one request frame for its reply,
// with time-out, retries and echo recognition.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "wire/codec.h"

namespace tavsim {
class Engine;
}

namespace wyn {

class Transport {
public:
    virtual ~Transport() = default;
    // 0, or a component code (5 the line went away, 6 write failure).
    virtual short send(const uint8_t* bytes, size_t n) = 0;
    // Bytes received within timeoutMs: > 0 count, 0 time-out, -1 line gone, -2 error.
    virtual int receive(uint8_t* buf, size_t max, int timeoutMs) = 0;
    // Drops what the line carries until it has been quiet for quietMs (noise
    // cannot keep it here longer than twice that), then flushes the input.
    virtual void discard_input(int quietMs) = 0;
    // Parity errors the driver reported since the last call.
    virtual int take_parity_errors() { return 0; }
};

// A serial device (real port or the simulator's pseudo-terminal); with
// parity checking on, the driver marks bad bytes and the transport counts them.
std::unique_ptr<Transport> make_serial_transport(int fd, bool parityMarks);
// The simulator engine inside this process; the transport owns it and the
// descriptor of the line's lock (-1 for none), released after the engine.
std::unique_ptr<Transport> make_sim_transport(std::unique_ptr<tavsim::Engine> engine, tavsim::Engine** view,
                                              int lockFd = -1);

struct LineConfig {
    int timeoutMs = 200;   // per attempt, counted from the request, beyond the wire time
    double byteMs = 0;     // wire time of one byte at the line's rate (0 in-process)
    int attempts = 6;      // 1 + retries
    int connectType = 0;   // 0 direct, 122 bus, 124 routed
    int busStation = 0;    // bus station number / route id
};

// Time-out of an exchange from the servo.set value: units of 100 ms, at least 200 ms.
int timeout_ms_from_setting(int nTimeOut);
// Wire time of one byte: start bit, data bits, parity bit, stop bits.
double byte_ms(int baud, int dataBits, bool parity, int stopBits);
// How long one attempt may take: the time-out plus the wire time of the
// request, its echo (RS-485 adapters) and the longest reply the request gets.
int attempt_ms(const LineConfig& cfg, size_t requestBytes, size_t replyData);

struct Reply {
    uint8_t status = 0;          // the device's processing status
    std::vector<uint8_t> data;   // STR1, STR2, payload
};

struct LineStats {
    long exchanges = 0, attempts = 0, bytesOut = 0, bytesIn = 0;
};

class Line {
public:
    Line(std::unique_ptr<Transport> t, const LineConfig& cfg, tavsim::Engine* engine);
    // One exchange; 0 when a reply came (its status may still be non-zero),
    // else 2 time-out, 3 retries exhausted, 9 retries exhausted after parity
    // errors, 5 line gone, 6 I/O error. replyData is the longest data part
    // (STR1, STR2 and payload) the request can get back.
    short exchange(int station, uint8_t command, const std::vector<uint8_t>& data, Reply& out,
                   size_t replyData = tavwire::kMaxData);
    const LineConfig& config() const { return cfg_; }
    tavsim::Engine* engine() { return engine_; }
    const LineStats& stats() const { return stats_; }

private:
    std::unique_ptr<Transport> t_;
    LineConfig cfg_;
    tavsim::Engine* engine_;
    uint8_t seq_;
    bool gone_ = false;
    LineStats stats_;
};

}  // namespace wyn
