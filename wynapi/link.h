// The line of the component: a byte transport (serial device or the
// in-process simulator) and the exchange of one request frame for its reply,
// with time-out, retries and echo recognition.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/codec.h"

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
    // Drops whatever the line still carries after quietMs of silence.
    virtual void discard_input(int quietMs) = 0;
    // Parity errors the driver reported since the last call.
    virtual int take_parity_errors() { return 0; }
};

// A serial device (real port or the simulator's pseudo-terminal); with
// parity checking on, the driver marks bad bytes and the transport counts them.
std::unique_ptr<Transport> make_serial_transport(int fd, bool parityMarks);
// The simulator engine inside this process; the transport owns it.
std::unique_ptr<Transport> make_sim_transport(std::unique_ptr<tavsim::Engine> engine, tavsim::Engine** view);

struct LineConfig {
    int timeoutMs = 200;   // per exchange: until the first reply byte and between bytes
    int attempts = 6;      // 1 + retries
    int connectType = 0;   // 0 direct, 122 bus, 124 routed
    int busStation = 0;    // bus station number / route id
};

// Time-out of an exchange from the servo.set value: units of 100 ms, at least 200 ms.
int timeout_ms_from_setting(int nTimeOut);

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
    // errors, 5 line gone, 6 I/O error.
    short exchange(int station, uint8_t command, const std::vector<uint8_t>& data, Reply& out);
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
