// The state file: the whole line as readable JSON, saved atomically.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "sim/engine.h"

namespace tavsim {

using nlohmann::json;

namespace {

std::string hex(const uint8_t* b, size_t n) {
    static const char* d = "0123456789ABCDEF";
    std::string s;
    s.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        s.push_back(d[b[i] >> 4]);
        s.push_back(d[b[i] & 0xF]);
    }
    return s;
}
template <class C>
std::string hex(const C& c) { return hex(c.data(), c.size()); }

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

json memory_json(const std::map<uint32_t, uint8_t>& mem) {
    json m = json::object();
    auto it = mem.begin();
    while (it != mem.end()) {
        const uint32_t start = it->first;
        std::vector<uint8_t> run;
        uint32_t next = start;
        while (it != mem.end() && it->first == next) run.push_back(it->second), ++next, ++it;
        char key[16];
        std::snprintf(key, sizeof key, "%08X", start);
        m[key] = hex(run);
    }
    return m;
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

json device_json(const Device& d) {
    json j;
    j["station"] = d.station;
    j["ident"] = hex(d.ident);
    if (d.type == DeviceType::kOperator) {
        j["type"] = "operator";
        json kinds = json::array();
        for (const auto& kind : d.std_params) {
            json list = json::array();
            for (const auto& p : kind) {
                char attr[8];
                std::snprintf(attr, sizeof attr, "%04X", p.attr);
                json e{{"value", hex(p.value)}, {"attr", attr}, {"initial", hex(p.initial)},
                       {"max", hex(p.maximum)}, {"min", hex(p.minimum)}};
                if (p.mem_error) e["mem_error"] = true;
                list.push_back(e);
            }
            kinds.push_back(list);
        }
        j["std"] = kinds;
    } else {
        j["type"] = "amplifier";
        j["model"] = d.vtype ? "V" : "L";
        j["offline"] = d.offline;
        j["run_on"] = d.run_on;
        j["manual_speed"] = d.manual_speed;
        j["position"] = d.position;
        j["dp_stop_pos_param"] = d.dp_stop_pos_param;
        j["dp_stop_time_param"] = d.dp_stop_time_param;
        j["write_protect_param"] = d.write_protect_param;
        json params = json::array();
        for (const auto& f : d.params) params.push_back(hex(f));
        j["params"] = params;
        j["mem_error_params"] = d.mem_error_params;
        json points = json::array();
        for (const auto& p : d.points) points.push_back(hex(p));
        j["points"] = points;
        j["mem_error_points"] = d.mem_error_points;
    }
    j["memory"] = memory_json(d.memory);
    return j;
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

int command_of(const json& c) {
    if (c.is_number_integer()) return c.get<int>();
    const int v = command_by_name(c.get<std::string>());
    if (v < 0) throw std::runtime_error("unknown command " + c.dump());
    return v;
}

json faults_json(const Faults& f) {
    json j;
    json rules = json::array();
    for (const Rule& r : f.rules) {
        json e;
        if (r.station >= 0) e["station"] = r.station;
        if (r.command >= 0) e["command"] = command_name(r.command);
        if (r.first >= 0) e["first"] = r.first;
        if (r.last >= 0) e["last"] = r.last;
        if (r.str1 >= 0) e["str1"] = r.str1;
        if (r.str2 >= 0) e["str2"] = r.str2;
        if (r.status != 0) e["status"] = r.status;
        e["count"] = r.count;
        rules.push_back(e);
    }
    j["rules"] = rules;
    j["timeout_next"] = f.timeout_next;
    j["drop_next"] = f.drop_next;
    j["garble_next"] = f.garble_next;
    j["refuse_mutex"] = f.refuse_mutex;
    j["echo"] = f.echo;
    json fam = json::object();
    for (const auto& [st, v] : f.family) fam[std::to_string(st)] = v;
    j["family"] = fam;
    return j;
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

std::string Engine::to_json() const {
    json j;
    j["format"] = "servo-sim/1";
    json devs = json::array();
    for (const Device& d : devices_) devs.push_back(device_json(d));
    j["devices"] = devs;
    Faults f = faults_;
    f.rules.erase(std::remove_if(f.rules.begin(), f.rules.end(), [](const Rule& r) { return r.count == 0; }),
                  f.rules.end());
    j["faults"] = faults_json(f);
    return j.dump(1);
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
    const std::string tmp = path_ + ".tmp" + std::to_string(::getpid());
    const std::string text = to_json();
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0;
    if (std::fclose(f) != 0 || !ok || std::rename(tmp.c_str(), path_.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace tavsim
