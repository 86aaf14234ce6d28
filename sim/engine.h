// The device simulator engine: the servo operator and the amplifiers of one
// line, answering request frames of the line protocol (docs/protocol.md).
// One engine serves both the servo-sim program (over a pseudo-terminal) and
// the component's in-process "sim:" line.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "wire/codec.h"
#include "wire/mutex.h"

namespace tavsim {

// The simulator is the device end of the line: it names the frames, commands
// and the mutex file of the wire unqualified.
using namespace tavwire;

using Field6 = std::array<uint8_t, 6>;   // control byte + 10 BCD digits
using Digits5 = std::array<uint8_t, 5>;  // 10 BCD digits

constexpr int kStdParamCount = 40;
constexpr int kStdKinds = 3;
constexpr int kExtParamCount = 297;
constexpr int kLPoints = 99;
constexpr int kVPoints = 15;

// STR1 bits.
constexpr uint8_t kStrReady = 0x02;
constexpr uint8_t kStrOffline = 0x04;
constexpr uint8_t kStrInitialising = 0x08;
constexpr uint8_t kStrTransmission = 0x20;
constexpr uint8_t kStrDataError = 0x40;
constexpr uint8_t kStrRefused = 0x80;
// Processing status of a reply whose data do not fit the command.
constexpr uint8_t kStatusDataSize = 12;

struct StdParam {
    Field6 value{};
    uint16_t attr = 0;
    Digits5 initial{}, maximum{}, minimum{};
    bool mem_error = false;
};

enum class DeviceType { kOperator, kAmplifier };

struct Device {
    int station = 0;
    DeviceType type = DeviceType::kAmplifier;
    std::array<uint8_t, 15> ident{};  // identification record bytes 2..16

    // Servo operator.
    std::array<std::array<StdParam, kStdParamCount>, kStdKinds> std_params{};
    int session = 0;  // 1 while a parameter transfer is open

    // Amplifier.
    bool vtype = false;
    std::vector<Field6> params;                // 297
    std::set<int> mem_error_params;            // 1-based
    std::vector<std::vector<uint8_t>> points;  // 99 x 16 or 15 x 24
    std::set<int> mem_error_points;            // 1-based
    int dp_stop_pos_param = 112;               // decimal places of stop positions
    int dp_stop_time_param = 113;              // stop-timer precision code
    int write_protect_param = 173;             // non-zero value: other writes refused
    bool offline = false;
    bool run_on = false;
    int manual_speed = 0;
    double position = 0;  // in digits of the stop-position field

    // Positioning run.
    bool moving = false;
    int run_point = 0;
    double move_from = 0, move_to = 0, move_start = 0, move_duration = 0;
    double run_speed = 0;
    int run_code = 0;  // 0 idle, 1 running, 2 arrived, 3 cancelled

    // Direct-access memory not mapped onto the model: (kind << 24 | address) -> byte.
    std::map<uint32_t, uint8_t> memory;

    int image_size() const { return vtype ? kVImage : kLImage; }
    int point_count() const { return static_cast<int>(points.size()); }
};

// A reply rule: requests that match get the given status bytes or processing
// status; a refusing rule (error bits in STR1, or a status) leaves the device
// unchanged.
struct Rule {
    int station = -1;   // -1: any
    int command = -1;   // wire command, -1: any
    int first = -1;     // parameter/point range touched, -1: any
    int last = -1;
    int str1 = -1;      // replaces STR1 when >= 0
    int str2 = -1;
    int status = 0;     // processing status of the reply (12 data size, 16.. device)
    int count = -1;     // matches left, -1: unlimited
};

struct Faults {
    std::vector<Rule> rules;
    int timeout_next = 0;  // next N requests are ignored (no reply, not executed)
    int drop_next = 0;     // next N replies are lost (request executed)
    int garble_next = 0;   // next N replies carry a corrupted byte
    bool refuse_mutex = false;
    bool echo = false;     // the line echoes every request (RS-485 adapter)
    std::map<int, int> family;  // station -> family byte reported instead
};

class Engine {
public:
    // The documented default line, not bound to a file.
    Engine();
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Loads the state file, or starts the default line when it is missing.
    // Null with error set when the file exists but cannot be read.
    static std::unique_ptr<Engine> open(const std::string& state_path, std::string* error);
    const std::string& state_path() const { return path_; }
    // Atomic save (temporary file + rename); true without a path.
    bool save();

    std::string to_json() const;
    bool from_json(const std::string& text, std::string* error);
    // Applies a control object: {"faults": {...}} replaces the faults,
    // {"advance_ms": n} moves the clock, {"devices": [...]} replaces devices
    // of the same station.
    bool control(const std::string& json, std::string* error);

    // Bytes from the line in, bytes for the line out (may be empty).
    std::vector<uint8_t> receive(const uint8_t* bytes, size_t n);
    // One decoded request; the reply bytes (empty: the device stays silent).
    std::vector<uint8_t> handle(const Frame& request, const std::vector<uint8_t>& raw);

    Faults& faults() { return faults_; }
    Device* device(int station);
    std::vector<Device>& devices() { return devices_; }
    void advance(double ms) { offset_ += ms / 1000.0; }
    double now() const;

    // Holds the component's mutex file while refuse_mutex is set, so that a
    // refusal is seen by every process on this installation.
    void sync_mutex_hold();

    // Counters for tests and the log.
    int requests_seen() const { return requests_; }
    int garbled_seen() const { return garbled_; }

private:
    struct Reply {
        uint8_t str1 = 0, str2 = 0, status = 0;
        std::vector<uint8_t> payload;
        bool changed = false;  // persistent state changed
    };
    Reply execute(Device& d, const Frame& rq, bool apply);
    Reply access(Device& d, const std::vector<uint8_t>& p, bool apply);
    void update_motion(Device& d);
    uint8_t base_str1(Device& d);
    std::vector<uint8_t> image_for_read(const Device& d, int point) const;
    const Rule* match_rule(const Frame& rq);

    std::string path_;
    std::vector<Device> devices_;
    Faults faults_;
    Receiver receiver_;
    std::vector<uint8_t> last_request_, last_reply_;
    double offset_ = 0;
    int requests_ = 0, garbled_ = 0;
    int mutex_fd_ = -1;
};

// The default line: servo operator at 0, KESTA7 L type at 1, KESTA7 Mini V type at 2.
std::vector<Device> default_line();
Device default_operator();
Device default_amplifier(int station, uint8_t family, bool vtype);

// Keeps every other process off a state file while this one serves it: an
// flock on <state>.lck, which dies with its holder. False when another
// process holds it; lock is -1 when the folder takes no lock file (it cannot
// take the state's saves either).
bool lock_state_file(const std::string& statePath, int& lock);
// Wire command by its name in the state file ("para_write") or -1.
int command_by_name(const std::string& name);
const char* command_name(int command);

}  // namespace tavsim
