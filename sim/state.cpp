// The state file: the whole line as readable JSON, saved atomically.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>

#include "sim/engine.h"

namespace tavsim {

using nlohmann::json;

namespace {

// Hexadecimal text (blanks allowed) to bytes; throws on anything else.
std::vector<uint8_t> unhex(const std::string& s) {
    std::vector<uint8_t> out;
    int nib = -1;
    for (char c : s) {
        if (c == ' ' || c == ':' || c == '-') continue;
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else throw std::runtime_error("bad hexadecimal text: " + s);
        if (nib < 0) nib = v;
        else out.push_back(static_cast<uint8_t>(nib << 4 | v)), nib = -1;
    }
    if (nib >= 0) throw std::runtime_error("odd hexadecimal text: " + s);
    return out;
}

template <size_t N>
void unhex_into(const json& j, std::array<uint8_t, N>& out) {
    const auto b = unhex(j.get<std::string>());
    if (b.size() != N) throw std::runtime_error("expected " + std::to_string(N) + " bytes: " + j.dump());
    std::copy(b.begin(), b.end(), out.begin());
}

void memory_from(const json& m, std::map<uint32_t, uint8_t>& mem) {
    mem.clear();
    for (auto it = m.begin(); it != m.end(); ++it) {
        const uint32_t start = static_cast<uint32_t>(std::stoul(it.key(), nullptr, 16));
        const auto b = unhex(it.value().get<std::string>());
        for (size_t i = 0; i < b.size(); ++i)
            mem[(start & 0xFF000000u) | ((start + static_cast<uint32_t>(i)) & 0xFFFFFF)] = b[i];
    }
}

// A device from its JSON: the default device of that kind, then every field given.
Device device_from(const json& j) {
    const int station = j.at("station").get<int>();
    if (station < 0 || station > kMaxStation) throw std::runtime_error("station out of range");
    const std::string type = j.value("type", station == 0 ? "operator" : "amplifier");
    Device d;
    if (type == "operator") {
        d = default_operator();
        d.station = station;
        if (j.contains("std")) {
            const json& kinds = j["std"];
            for (size_t k = 0; k < kinds.size() && k < kStdKinds; ++k) {
                for (size_t i = 0; i < kinds[k].size() && i < kStdParamCount; ++i) {
                    const json& e = kinds[k][i];
                    StdParam& p = d.std_params[k][i];
                    if (e.contains("value")) unhex_into(e["value"], p.value);
                    if (e.contains("attr")) p.attr = static_cast<uint16_t>(std::stoul(e["attr"].get<std::string>(), nullptr, 16));
                    if (e.contains("initial")) unhex_into(e["initial"], p.initial);
                    if (e.contains("max")) unhex_into(e["max"], p.maximum);
                    if (e.contains("min")) unhex_into(e["min"], p.minimum);
                    p.mem_error = e.value("mem_error", false);
                }
            }
        }
    } else if (type == "amplifier") {
        const bool vtype = j.value("model", "L") == "V";
        const int family = j.value("family", vtype ? 0x40 : 0x30);
        d = default_amplifier(station, static_cast<uint8_t>(family), vtype);
        d.offline = j.value("offline", false);
        d.run_on = j.value("run_on", false);
        d.manual_speed = j.value("manual_speed", 0);
        d.position = j.value("position", 0.0);
        d.move_to = d.position;
        d.dp_stop_pos_param = j.value("dp_stop_pos_param", d.dp_stop_pos_param);
        d.dp_stop_time_param = j.value("dp_stop_time_param", d.dp_stop_time_param);
        d.write_protect_param = j.value("write_protect_param", d.write_protect_param);
        for (int n : {d.dp_stop_pos_param, d.dp_stop_time_param, d.write_protect_param})
            if (n < 1 || n > kExtParamCount) throw std::runtime_error("parameter number out of range");
        if (j.contains("params")) {
            const json& ps = j["params"];
            for (size_t i = 0; i < ps.size() && i < d.params.size(); ++i) unhex_into(ps[i], d.params[i]);
        }
        if (j.contains("points")) {
            const json& ps = j["points"];
            for (size_t i = 0; i < ps.size() && i < d.points.size(); ++i) {
                const auto b = unhex(ps[i].get<std::string>());
                if (b.size() != d.points[i].size()) throw std::runtime_error("point image of the wrong size");
                d.points[i] = b;
            }
        }
        if (j.contains("mem_error_params")) d.mem_error_params = j["mem_error_params"].get<std::set<int>>();
        if (j.contains("mem_error_points")) d.mem_error_points = j["mem_error_points"].get<std::set<int>>();
    } else {
        throw std::runtime_error("unknown device type " + type);
    }
    if (j.contains("ident")) unhex_into(j["ident"], d.ident);
    else if (j.contains("family")) d.ident[2] = static_cast<uint8_t>(j["family"].get<int>());
    if (j.contains("memory")) memory_from(j["memory"], d.memory);
    return d;
}

// ------------------------------------------------------------- writer
// Writes the state text directly, in exactly the layout nlohmann's dump(1)
// gives (keys in byte order, one blank of indentation per level), at a small
// fraction of the cost of building the document first: the simulator saves
// after every changing request, inside the device's reply time.
class JsonWriter {
public:
    JsonWriter() { out_.reserve(64 * 1024); }  // a default line is about 36 KB
    // A writer for one value nested `depth` levels deep, to be put in place
    // later with raw(): its text starts at the value itself.
    explicit JsonWriter(size_t depth) : levels_(depth, Level{' ', false}), keyed_(true) {}
    std::string take() { return std::move(out_); }

    // A value written before by a nested writer of the same depth.
    void raw(const std::string& text) {
        next_item();
        out_ += text;
    }

    void begin_object() { open('{'); }
    void end_object() { close('}'); }
    void begin_array() { open('['); }
    void end_array() { close(']'); }
    // Keys are our own names and hexadecimal numbers: nothing to escape.
    void key(const char* k) {
        next_item();
        out_.push_back('"');
        out_ += k;
        out_ += "\": ";
        keyed_ = true;
    }
    void value(const std::string& v) {
        next_item();
        string_value(v);
    }
    void value(const char* v) { value(std::string(v)); }
    void value(long long v) {
        next_item();
        out_ += std::to_string(v);
    }
    void value(int v) { value(static_cast<long long>(v)); }
    void value(bool v) {
        next_item();
        out_ += v ? "true" : "false";
    }
    void value(double v) {
        next_item();
        out_ += json(v).dump();  // the library's shortest round-trip form
    }
    void hex_value(const uint8_t* b, size_t n) {
        next_item();
        out_.push_back('"');
        append_hex(b, n);
        out_.push_back('"');
    }
    template <class C>
    void hex_value(const C& c) { hex_value(c.data(), c.size()); }
    template <class C>
    void int_array(const C& values) {
        begin_array();
        for (int v : values) value(v);
        end_array();
    }

private:
    struct Level {
        char close;
        bool empty = true;
    };

    void open(char c) {
        next_item();
        out_.push_back(c);
        levels_.push_back({c == '{' ? '}' : ']'});
    }
    void close(char c) {
        const bool empty = levels_.back().empty;
        levels_.pop_back();
        if (!empty) {
            out_.push_back('\n');
            out_.append(levels_.size(), ' ');
        }
        out_.push_back(c);
    }
    // Separator and indentation before an item (a key, or an array element).
    void next_item() {
        if (keyed_) {  // the value of the key just written
            keyed_ = false;
            return;
        }
        if (levels_.empty()) return;
        out_ += levels_.back().empty ? "\n" : ",\n";
        levels_.back().empty = false;
        out_.append(levels_.size(), ' ');
    }
    void string_value(const std::string& v) {
        out_.push_back('"');
        for (unsigned char c : v) {
            switch (c) {
            case '"': out_ += "\\\""; break;
            case '\\': out_ += "\\\\"; break;
            case '\b': out_ += "\\b"; break;
            case '\f': out_ += "\\f"; break;
            case '\n': out_ += "\\n"; break;
            case '\r': out_ += "\\r"; break;
            case '\t': out_ += "\\t"; break;
            default:
                if (c < 0x20) {
                    char u[8];
                    std::snprintf(u, sizeof u, "\\u%04x", c);
                    out_ += u;
                } else {
                    out_.push_back(static_cast<char>(c));
                }
            }
        }
        out_.push_back('"');
    }
    void append_hex(const uint8_t* b, size_t n) {
        static const char* d = "0123456789ABCDEF";
        const size_t at = out_.size();
        out_.resize(at + 2 * n);
        char* p = out_.data() + at;
        for (size_t i = 0; i < n; ++i) {
            *p++ = d[b[i] >> 4];
            *p++ = d[b[i] & 0xF];
        }
    }

    std::string out_;
    std::vector<Level> levels_;
    bool keyed_ = false;
};

// Direct-access memory as runs of consecutive addresses: "AAAAAAAA": "hex".
void write_memory(JsonWriter& w, const std::map<uint32_t, uint8_t>& mem) {
    w.begin_object();
    auto it = mem.begin();
    std::vector<uint8_t> run;
    while (it != mem.end()) {
        const uint32_t start = it->first;
        run.clear();
        uint32_t next = start;
        while (it != mem.end() && it->first == next) run.push_back(it->second), ++next, ++it;
        char key[16];
        std::snprintf(key, sizeof key, "%08X", start);
        w.key(key);
        w.hex_value(run);
    }
    w.end_object();
}

void write_operator(JsonWriter& w, const Device& d) {
    w.key("ident");
    w.hex_value(d.ident);
    w.key("memory");
    write_memory(w, d.memory);
    w.key("station");
    w.value(d.station);
    w.key("std");
    w.begin_array();
    for (const auto& kind : d.std_params) {
        w.begin_array();
        for (const StdParam& p : kind) {
            const uint8_t attr[2] = {static_cast<uint8_t>(p.attr >> 8), static_cast<uint8_t>(p.attr & 0xFF)};
            w.begin_object();
            w.key("attr");
            w.hex_value(attr, 2);
            w.key("initial");
            w.hex_value(p.initial);
            w.key("max");
            w.hex_value(p.maximum);
            if (p.mem_error) {
                w.key("mem_error");
                w.value(true);
            }
            w.key("min");
            w.hex_value(p.minimum);
            w.key("value");
            w.hex_value(p.value);
            w.end_object();
        }
        w.end_array();
    }
    w.end_array();
    w.key("type");
    w.value("operator");
}

void write_amplifier(JsonWriter& w, const Device& d) {
    w.key("dp_stop_pos_param");
    w.value(d.dp_stop_pos_param);
    w.key("dp_stop_time_param");
    w.value(d.dp_stop_time_param);
    w.key("ident");
    w.hex_value(d.ident);
    w.key("manual_speed");
    w.value(d.manual_speed);
    w.key("mem_error_params");
    w.int_array(d.mem_error_params);
    w.key("mem_error_points");
    w.int_array(d.mem_error_points);
    w.key("memory");
    write_memory(w, d.memory);
    w.key("model");
    w.value(d.vtype ? "V" : "L");
    w.key("offline");
    w.value(d.offline);
    w.key("params");
    w.begin_array();
    for (const Field6& f : d.params) w.hex_value(f);
    w.end_array();
    w.key("points");
    w.begin_array();
    for (const auto& p : d.points) w.hex_value(p);
    w.end_array();
    w.key("position");
    w.value(d.position);
    w.key("run_on");
    w.value(d.run_on);
    w.key("station");
    w.value(d.station);
    w.key("type");
    w.value("amplifier");
    w.key("write_protect_param");
    w.value(d.write_protect_param);
}

// Keys in the order they are written: byte order, as the document keeps them.
void write_rule(JsonWriter& w, const Rule& r) {
    w.begin_object();
    if (r.command >= 0) {
        w.key("command");
        w.value(command_name(r.command));
    }
    w.key("count");
    w.value(r.count);
    const std::pair<const char*, int> optional[] = {{"first", r.first}, {"last", r.last}, {"station", r.station}};
    for (const auto& [name, v] : optional)
        if (v >= 0) {
            w.key(name);
            w.value(v);
        }
    if (r.status != 0) {
        w.key("status");
        w.value(r.status);
    }
    for (const auto& [name, v] : {std::pair<const char*, int>{"str1", r.str1}, {"str2", r.str2}})
        if (v >= 0) {
            w.key(name);
            w.value(v);
        }
    w.end_object();
}

void write_faults(JsonWriter& w, const Faults& f) {
    w.begin_object();
    w.key("drop_next");
    w.value(f.drop_next);
    w.key("echo");
    w.value(f.echo);
    w.key("family");
    std::vector<std::pair<std::string, int>> family;  // keyed by the station as text, in text order
    for (const auto& [station, v] : f.family) family.emplace_back(std::to_string(station), v);
    std::sort(family.begin(), family.end());
    w.begin_object();
    for (const auto& [station, v] : family) {
        w.key(station.c_str());
        w.value(v);
    }
    w.end_object();
    w.key("garble_next");
    w.value(f.garble_next);
    w.key("refuse_mutex");
    w.value(f.refuse_mutex);
    w.key("rules");
    w.begin_array();
    for (const Rule& r : f.rules)
        if (r.count != 0) write_rule(w, r);  // a used-up rule is gone
    w.end_array();
    w.key("timeout_next");
    w.value(f.timeout_next);
    w.end_object();
}

// Puts the new file in the old one's place at once. Exchanging the two
// names and then removing the old file under the temporary name is as
// atomic as a rename over it, but spares ext4 the flush of the new file's
// data that a rename over an existing file starts (about a millisecond, at
// every changing request). Where exchange is not possible, a plain rename.
bool swap_in(const std::string& tmp, const std::string& path) {
    struct stat st {};
    const bool regular = ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (regular && ::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0) {
        ::unlink(tmp.c_str());  // now the old state
        return true;
    }
    return ::rename(tmp.c_str(), path.c_str()) == 0;
}

// A temporary file beside the target under a name nobody can foresee,
// created here and now (never an existing file or a link planted under its
// name), written whole, renamed over the target.
bool write_file_atomically(const std::string& path, const std::string& text) {
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        uint64_t r = 0;
        if (::getrandom(&r, sizeof r, 0) != static_cast<ssize_t>(sizeof r)) r ^= static_cast<uint64_t>(::clock());
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".%016llx", static_cast<unsigned long long>(r));
        tmp = path + ".tmp" + std::to_string(::getpid()) + suffix;
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    size_t done = 0;
    bool ok = true;
    while (ok && done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ::close(fd) == 0 && ok;
    if (ok && swap_in(tmp, path)) return true;
    ::unlink(tmp.c_str());
    return false;
}

int command_of(const json& c) {
    if (c.is_number_integer()) return c.get<int>();
    const int v = command_by_name(c.get<std::string>());
    if (v < 0) throw std::runtime_error("unknown command " + c.dump());
    return v;
}

Faults faults_from(const json& j) {
    Faults f;
    if (j.contains("rules")) {
        for (const json& e : j["rules"]) {
            Rule r;
            r.station = e.value("station", -1);
            if (e.contains("command")) r.command = command_of(e["command"]);
            r.first = e.value("first", -1);
            r.last = e.value("last", r.first);
            r.str1 = e.value("str1", -1);
            r.str2 = e.value("str2", -1);
            r.status = e.value("status", 0);
            r.count = e.value("count", -1);
            if (r.count != 0) f.rules.push_back(r);
        }
    }
    f.timeout_next = j.value("timeout_next", 0);
    f.drop_next = j.value("drop_next", 0);
    f.garble_next = j.value("garble_next", 0);
    f.refuse_mutex = j.value("refuse_mutex", false);
    f.echo = j.value("echo", false);
    if (j.contains("family"))
        for (auto it = j["family"].begin(); it != j["family"].end(); ++it)
            f.family[std::stoi(it.key())] = it.value().get<int>();
    return f;
}

}  // namespace

namespace {

bool same_std_param(const StdParam& a, const StdParam& b) {
    return a.value == b.value && a.attr == b.attr && a.initial == b.initial && a.maximum == b.maximum &&
           a.minimum == b.minimum && a.mem_error == b.mem_error;
}

// Equal in everything the state file holds of a device.
bool same_saved_fields(const Device& a, const Device& b) {
    if (a.station != b.station || a.type != b.type || a.ident != b.ident || a.vtype != b.vtype ||
        a.params != b.params || a.mem_error_params != b.mem_error_params || a.points != b.points ||
        a.mem_error_points != b.mem_error_points || a.dp_stop_pos_param != b.dp_stop_pos_param ||
        a.dp_stop_time_param != b.dp_stop_time_param || a.write_protect_param != b.write_protect_param ||
        a.offline != b.offline || a.run_on != b.run_on || a.manual_speed != b.manual_speed ||
        a.position != b.position || a.memory != b.memory)
        return false;
    for (int k = 0; k < kStdKinds; ++k)
        for (int i = 0; i < kStdParamCount; ++i)
            if (!same_std_param(a.std_params[k][i], b.std_params[k][i])) return false;
    return true;
}

// A request changes one device at most, so most of a save's text is that of
// devices unchanged since the last save: each device's text is kept with a
// copy of what it was written from, and written again only when it differs.
struct DeviceText {
    Device device;
    std::string text;
};
constexpr size_t kKeptDeviceTexts = 8;
constexpr size_t kDeviceDepth = 2;  // the top object, then the device list
std::mutex g_deviceTextsMutex;
std::vector<DeviceText> g_deviceTexts;

std::string device_text(const Device& d) {
    std::lock_guard<std::mutex> lock(g_deviceTextsMutex);
    for (const DeviceText& kept : g_deviceTexts)
        if (same_saved_fields(kept.device, d)) return kept.text;
    JsonWriter w(kDeviceDepth);
    w.begin_object();
    if (d.type == DeviceType::kOperator) write_operator(w, d);
    else write_amplifier(w, d);
    w.end_object();
    if (g_deviceTexts.size() >= kKeptDeviceTexts) g_deviceTexts.erase(g_deviceTexts.begin());
    g_deviceTexts.push_back({d, w.take()});
    return g_deviceTexts.back().text;
}

}  // namespace

std::string Engine::to_json() const {
    JsonWriter w;
    w.begin_object();
    w.key("devices");
    w.begin_array();
    for (const Device& d : devices_) w.raw(device_text(d));
    w.end_array();
    w.key("faults");
    write_faults(w, faults_);
    w.key("format");
    w.value("servo-sim/1");
    w.end_object();
    return w.take();
}

bool Engine::from_json(const std::string& text, std::string* error) {
    try {
        const json j = json::parse(text);
        std::vector<Device> devs;
        if (j.contains("devices")) {
            for (const json& e : j["devices"]) devs.push_back(device_from(e));
        } else {
            devs = default_line();
        }
        Faults f = j.contains("faults") ? faults_from(j["faults"]) : Faults{};
        devices_ = std::move(devs);
        faults_ = std::move(f);
        last_request_.clear();
        last_reply_.clear();
        sync_mutex_hold();
        return true;
    } catch (const std::exception& e) {
        if (error != nullptr) *error = e.what();
        return false;
    }
}

bool Engine::control(const std::string& text, std::string* error) {
    try {
        const json j = json::parse(text);
        if (j.contains("faults")) faults_ = faults_from(j["faults"]);
        if (j.contains("advance_ms")) advance(j["advance_ms"].get<double>());
        if (j.contains("devices")) {
            for (const json& e : j["devices"]) {
                Device d = device_from(e);
                Device* old = device(d.station);
                if (old != nullptr) *old = std::move(d);
                else devices_.push_back(std::move(d));
            }
        }
        last_request_.clear();
        last_reply_.clear();
        sync_mutex_hold();
        return true;
    } catch (const std::exception& e) {
        if (error != nullptr) *error = e.what();
        return false;
    }
}

std::unique_ptr<Engine> Engine::open(const std::string& path, std::string* error) {
    auto e = std::make_unique<Engine>();
    e->path_ = path;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {  // there but unreadable
            if (error != nullptr) *error = "cannot read " + path;
            return nullptr;
        }
        e->sync_mutex_hold();
        return e;  // no state yet: the default line
    }
    std::stringstream ss;
    ss << in.rdbuf();
    if (!e->from_json(ss.str(), error)) return nullptr;
    return e;
}

bool Engine::save() {
    if (path_.empty()) return true;
    return write_file_atomically(path_, to_json());
}

}  // namespace tavsim
