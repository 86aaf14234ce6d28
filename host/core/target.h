// Which amplifier a command talks to. Every device command names its target:
// an entry of the station list (servo.con), by default the selected one. The
// target is resolved and checked before anything is sent or written, the
// port and trace locks are checked before the line is opened, and library
// calls that work on "the selected entry" get it selected for the call only:
// servo.con is put back byte for byte afterwards, on success, failure and
// Ctrl-C alike. Only `select` changes the selection for good.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "host/core/outcome.h"

namespace tavhost::core {

constexpr int kMaxEntries = 50;
constexpr int kMaxStation = 248;

struct StationEntry {
    int entry = 0;
    int station = 0;
    int flag = 0;  // 1: answered at the last refresh
    std::string name;  // code page 932, as in servo.con
};

struct StationList {
    std::string path;          // servo.con
    std::string selectedText;  // field 2 of line 1, as written
    int selected = 0;          // 0 when selectedText names no entry
    std::vector<StationEntry> entries;
};

Outcome read_station_list(StationList& out);

// The installation file of a path-service id ("" when it has none).
std::string installation_file(int id);
// A value of an INI file as Windows reads it (section and key without regard
// to case, blanks around them dropped); "" when absent.
std::string ini_value(const std::string& file, const std::string& section, const std::string& key);
// The device a port COMn is mapped to in wyn.ini ("COMn" itself when unmapped).
std::string port_device(int port);

struct Target {
    int entry = 0;
    int station = 0;
    std::string name;      // the entry's name in servo.con (code page 932)
    int family = 0;        // identification byte: 0x30 KESTA7, 0x40 KESTA7 Mini, 0x50 servo operator
    std::string model;     // model name as identified (code page 932)
    AmpIdentification id{};  // the identification texts
};

// The entry `entry` (or, when empty, the selected one) with its station; a
// number outside the list or an entry without a station is refused.
Outcome resolve_target(const std::optional<int>& entry, Target& out);

// The port and trace locks, as a line tracer or another loader holds them:
// -18 naming the port and the lock file when either is held.
Outcome check_line_locks();

// Locks checked, the line opened, the target identified (family and model)
// and the line closed again: what every device command does first.
Outcome open_target(const std::optional<int>& entry, Target& out);

// The standard-parameter transfers address the servo operator: station 0
// when servo.set does not use the station list (line 7 is 0), else the
// entry's station. Checked, locked and identified like open_target; entry 0
// in `out` when the list is not in use.
Outcome open_operator_target(const std::optional<int>& entry, Target& out);

// "COM1 (/dev/ttyUSB0)": the port of the line settings and its device.
std::string line_device();

// Family byte in words.
std::string family_name(int family);

// Selects an entry of servo.con for the duration of one library call and puts
// the file back exactly as it was when the guard ends (or at restore()).
class SelectionGuard {
public:
    SelectionGuard() = default;
    ~SelectionGuard() { restore(); }
    SelectionGuard(const SelectionGuard&) = delete;
    SelectionGuard& operator=(const SelectionGuard&) = delete;

    Outcome select(const Target& target);
    Outcome restore();

private:
    Outcome borrow(const Target& target);

    std::string path_, saved_, journal_;
    bool changed_ = false;
    int lock_ = -1;  // lock/selection.lck, held exclusively while the selection is borrowed
};

// `tav select N`: the one deliberate change of the selection.
Outcome select_entry(int entry);

}  // namespace tavhost::core
