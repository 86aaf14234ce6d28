#include "host/serve/api.h"

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "host/core/backup.h"
#include "host/core/data_sets.h"
#include "host/core/definitions.h"
#include "host/core/device.h"
#include "host/core/edits.h"
#include "host/core/numbers.h"
#include "host/core/target.h"
#include "host/core/transfer.h"

namespace tavhost::serve {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using core::Msg;
using core::Outcome;

// A session that has not been heard of for this long no longer drives the line.
constexpr auto kDriverIdle = std::chrono::seconds(60);

std::string catalogue(int code) {
    char text[1024] = "";
    srvTav_ErrString_Get(code, sizeof text, text);
    return core::utf8_of(text);
}

Json number(double value) { return std::isfinite(value) ? Json(value) : Json(nullptr); }

// {"code": 0} or the code with the host text and the catalogue message, as the terminal shows them.
Json outcome_json(core::Lang lang, const Outcome& o) {
    if (o.ok()) return {{"code", 0}};
    std::vector<std::string> args = o.args;
    if (o.field != Msg::None && args.size() > 1) args[1] = core::text(lang, o.field);
    const std::string what = o.msg == Msg::None ? "" : core::say(lang, o.msg, args) + ": ";
    return {{"code", o.code}, {"message", what + std::to_string(o.code) + "  " + catalogue(o.code)}};
}

bool read_whole(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool ends_with(const std::string& text, const std::string& tail) {
    if (text.size() < tail.size()) return false;
    return strcasecmp(text.c_str() + text.size() - tail.size(), tail.c_str()) == 0;
}

// A plain file name with one of the extensions of its kind.
bool file_name_of_kind(const std::string& name, const std::vector<std::string>& exts) {
    if (name.empty() || name.size() > 120 || name.find('/') != std::string::npos || name[0] == '.') return false;
    for (const std::string& e : exts)
        if (ends_with(name, e)) return true;
    return false;
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& i : items) out += (out.empty() ? "" : " ") + i;
    return out;
}

Json target_json(const core::Target& t) {
    const AmpIdentification& id = t.id;
    return {{"entry", t.entry},
            {"station", t.station},
            {"name", core::utf8_of(t.name.c_str())},
            {"family", static_cast<int>(t.family)},
            {"family_name", core::family_name(t.family)},
            {"model", core::utf8_of(t.model.c_str())},
            {"capacity", core::utf8_of(id.szAmpCapacity)},
            {"voltage", core::utf8_of(id.szAmpVoltage)},
            {"motor", core::utf8_of(id.szMotorName)},
            {"encoder", core::utf8_of(id.szEncoder)}};
}

// ---- the two parameter sets, one code path
struct ExtParams {
    using Set = NewParaSet;
    using Record = NewParaRecord;
    static constexpr int kLast = 297;
    static constexpr bool kExt = true;
    static const char* word() { return "parameter set"; }
    static const char* op() { return "ext"; }
    static int rd(Set* s, int no, Record* r) { return srvTav_NewPara_Dat_Rd(s, no, r); }
    static int load(const char* f, int kind, Set* s) { return srvTav_NewPara_ComRd(f, nullptr, kind, s, 0, 0); }
    static int save(const char* f, Set* s) { return srvTav_NewPara_ComWt(f, nullptr, 0, 0, s); }
    static int create(int model, int kind, Set* s) { return srvTav_NewPara_Create(model, kind, s); }
    static int csv(const char* f, Set* s) { return srvTav_NewParaCsvType_Wt(f, s); }
    static int reset(Set* s, int no) { return srvTav_NewPara_Dat_Init(s, no); }
    static std::string text(double v, unsigned attr) { return core::ext_value_text(v, attr); }
    static int places(unsigned attr) { return core::ext_places(attr); }
    static bool hex(unsigned attr) { return (attr & 0x0002u) != 0; }
    static bool symmetric(unsigned) { return false; }
    static Outcome open(const std::optional<int>& e, core::Target& t) { return core::open_target(e, t); }
    static Outcome change(Set* s, int no, double v) { return core::change_ext(s, no, v); }
    static Outcome check(Set* s, bool all) { return core::check_ext_before_write(s, all); }
    static Outcome read(Set* s, const core::Target& t, int kind, core::ProgressView* v) { return core::read_ext(s, t, kind, v); }
    static Outcome write(Set* s, const core::Target& t, bool all, core::ProgressView* v) { return core::write_ext(s, t, all, v); }
};

struct StdParams {
    using Set = ParaSet;
    using Record = ParaRecord;
    static constexpr int kLast = 99;
    static constexpr bool kExt = false;
    static const char* word() { return "standard parameter set"; }
    static const char* op() { return "para"; }
    static int rd(Set* s, int no, Record* r) { return srvTav_Para_Dat_Rd(s, no, r); }
    // The operator's own definitions (see host/core/definitions.h).
    static int load(const char* f, int kind, Set* s) {
        return core::with_operator_definitions([&] { return srvTav_Para_ComRd(f, nullptr, kind, s); });
    }
    static int save(const char* f, Set* s) {
        return core::with_operator_definitions([&] { return srvTav_Para_ComWt(f, nullptr, 0, 0, s); });
    }
    static int create(int model, int kind, Set* s) {
        return core::with_operator_definitions([&] { return srvTav_Para_Create(model, kind, s); });
    }
    static int csv(const char* f, Set* s) { return core::with_operator_definitions([&] { return srvTav_ParaCsvType_Wt(f, s); }); }
    static int reset(Set* s, int no) { return srvTav_Para_Dat_Init(s, no); }
    static std::string text(double v, unsigned attr) { return core::para_value_text(v, attr); }
    static int places(unsigned attr) { return core::para_places(attr); }
    static bool hex(unsigned) { return false; }
    static bool symmetric(unsigned attr) { return (attr & 0x0004u) != 0; }
    static Outcome open(const std::optional<int>& e, core::Target& t) { return core::open_operator_target(e, t); }
    static Outcome change(Set* s, int no, double v) { return core::change_para(s, no, v); }
    static Outcome check(Set* s, bool all) { return core::check_para_before_write(s, all); }
    static Outcome read(Set* s, const core::Target& t, int kind, core::ProgressView* v) { return core::read_para(s, t, kind, v); }
    static Outcome write(Set* s, const core::Target& t, bool all, core::ProgressView* v) { return core::write_para(s, t, all, v); }
};

// The page kind a file name's extension stands for: .syp 1, .hsp 2, else 0.

template <class P>
Json params_json(typename P::Set* set, const std::string& name) {
    Json list = Json::array();
    typename P::Record r;
    for (int no = 1; no <= set->nParaCount && no <= P::kLast; ++no) {
        if (P::rd(set, no, &r) != 0) continue;
        const unsigned attr = r.wAttr;
        std::string range = core::utf8_of(r.szItemComment);
        const std::size_t first = range.find_first_not_of(' ');
        range = first == std::string::npos ? "" : range.substr(first, range.find_last_not_of(' ') - first + 1);
        if (range.empty() || range.size() > 60) range = P::text(r.dMin, attr) + " .. " + P::text(r.dMax, attr);
        list.push_back({{"no", no},
                        {"panel", P::kExt ? core::panel_no(no) : std::to_string(no)},
                        {"page", P::kExt ? (no - 1) / 99 + 1 : 1},
                        {"name", core::utf8_of(r.szName)},
                        {"value", P::text(r.dValue, attr)},
                        {"number", number(r.dValue)},
                        {"unit", core::utf8_of(r.szNote)},
                        {"range", range},
                        {"min", number(r.dMin)},
                        {"max", number(r.dMax)},
                        {"places", P::places(attr)},
                        {"hex", P::hex(attr)},
                        {"symmetric", P::symmetric(attr)},
                        {"initial", P::text(r.dInitial, attr)},
                        {"changed", r.nChgFlag != 0},
                        {"result", static_cast<int>(r.nResult)}});
    }
    return {{"name", name},
            {"kind", static_cast<int>(set->nKind)},
            {"amp", core::utf8_of(set->szAmpNo)},
            {"read_date", core::utf8_of(set->szReadDate)},
            {"parameters", list}};
}

// The parameters whose shown value differs between two sets.
template <class P>
Json params_differences(typename P::Set* ref, typename P::Set* amp) {
    Json rows = Json::array();
    if constexpr (P::kExt) {
        for (const core::ExtDifference& d : core::ext_differences(ref, amp))
            rows.push_back({{"no", d.no}, {"panel", core::panel_no(d.no)}, {"name", d.name}, {"reference", d.reference},
                            {"amplifier", d.amplifier}});
    } else {
        typename P::Record a, b;
        for (int no = 1; no <= P::kLast; ++no) {
            const bool inRef = P::rd(ref, no, &a) == 0, inAmp = P::rd(amp, no, &b) == 0;
            if (!inRef && !inAmp) continue;
            const std::string left = inRef ? P::text(a.dValue, a.wAttr) : "-";
            const std::string right = inAmp ? P::text(b.dValue, inRef ? a.wAttr : b.wAttr) : "-";
            if (left != right)
                rows.push_back({{"no", no}, {"panel", std::to_string(no)}, {"name", core::utf8_of(inRef ? a.szName : b.szName)},
                                {"reference", left}, {"amplifier", right}});
        }
    }
    return rows;
}

// ---- the two tables, one code path: what differs between them
struct PosTable {
    using Set = ItiDatSet;
    static constexpr int kPoints = 99;
    static constexpr bool kVv = false;
    static const char* word() { return "positioning table"; }
    static std::vector<std::string> exts() { return {".k7l"}; }
    static int load(const char* f, Set* s) { return srvTav_ItiDatFil_Rd(f, s); }
    static int save(const char* f, Set* s) { return srvTav_ItiDat_ComWt(f, nullptr, 0, s); }
    static int create(int model, Set* s) { return srvTav_ItiDatFil_Create(model, s); }
    static int csv(const char* f, Set* s) { return srvTav_ItiDatCsvType_Wt(f, s); }
    static int reset(Set* s, int no) { return srvTav_ItiDat_Init(s, no); }
    static Outcome read(Set* s, const core::Target& t, core::ProgressView* v) { return core::read_pos(s, t, v); }
    static Outcome write(Set* s, const core::Target& t, bool all, core::ProgressView* v) { return core::write_pos(s, t, all, v); }
    static Outcome change(Set* s, int no, const core::PointValues& p, bool insert) { return core::change_point(s, no, p, insert); }
    static std::vector<std::string> lines(Set* s) {
        auto print = std::make_unique<ItiDatPrintData>();
        std::vector<std::string> out;
        if (srvTav_ItiDatPrint_mak(s, print.get()) != 0) return out;
        for (const char* l : {print->szTitle, print->szColumnTitle1, print->szColumnTitle2}) out.push_back(core::utf8_of(l));
        for (int i = 0; i < print->nLineCount && i < kPoints; ++i) out.push_back(core::utf8_of(print->szPointLine[i]));
        return out;
    }
};

struct VvTable {
    using Set = ItiVvDatSet;
    static constexpr int kPoints = 15;
    static constexpr bool kVv = true;
    static const char* word() { return "VV table"; }
    static std::vector<std::string> exts() { return {".m7v"}; }
    static int load(const char* f, Set* s) { return srvTav_ItiVvDatFil_Rd(f, s); }
    static int save(const char* f, Set* s) { return srvTav_ItiVvDatFil_Wt(f, s); }
    static int create(int model, Set* s) { return srvTav_ItiVvDatFil_Create(model, s); }
    static int csv(const char* f, Set* s) { return srvTav_ItiVvDatCsvType_Wt(f, s); }
    static int reset(Set* s, int no) { return srvTav_ItiVvDat_Init(s, no); }
    static Outcome read(Set* s, const core::Target& t, core::ProgressView* v) { return core::read_vv(s, t, v); }
    static Outcome write(Set* s, const core::Target& t, bool, core::ProgressView* v) { return core::write_vv(s, t, v); }
    static Outcome change(Set* s, int no, const core::PointValues& p, bool insert) { return core::change_vv_point(s, no, p, insert); }
    static std::vector<std::string> lines(Set* s) {
        auto print = std::make_unique<ItiVvDatPrintData>();
        std::vector<std::string> out;
        if (srvTav_ItiVvDatPrint_mak(s, print.get()) != 0) return out;
        for (const char* l : {print->szTitle, print->szColumnTitle1, print->szColumnTitle2}) out.push_back(core::utf8_of(l));
        for (int i = 0; i < print->nLineCount && i < kPoints; ++i) out.push_back(core::utf8_of(print->szPointLine[i]));
        return out;
    }
};

template <class T>
Json table_json(typename T::Set* set, const std::string& name) {
    Json points = Json::array();
    for (int i = 0; i < set->nPointCount && i < T::kPoints; ++i) {
        const auto& p = set->point[i];
        Json j = {{"no", i + 1},
                  {"cmd_mode", static_cast<int>(p.nCmdMode)},
                  {"step_mode", static_cast<int>(p.nStepMode)},
                  {"stop_pos", number(p.dStopPos)},
                  {"speed", number(p.dSpeed)}};
        if constexpr (T::kVv) {
            j["accel"] = number(p.dAccelTime);
            j["decel"] = number(p.dDecelTime);
        }
        j["stop_timer"] = number(p.dStopTimer);
        j["m_code"] = static_cast<int>(p.nMCode);
        j["m_valid"] = static_cast<int>(p.nMValid);
        j["m_timing"] = static_cast<int>(p.nMTiming);
        j["changed"] = static_cast<int>(p.nChgFlag);
        j["status"] = static_cast<int>(p.nStatus);
        points.push_back(j);
    }
    return {{"name", name},
            {"amp", core::utf8_of(set->szAmpNo)},
            {"read_date", core::utf8_of(set->szReadDate)},
            {"model", static_cast<int>(set->nModel)},
            {"stop_pos_dp", static_cast<unsigned>(set->wStopPosDp)},
            {"stop_time_dp", static_cast<unsigned>(set->wStopTimeDp)},
            {"points", points}};
}

// The values of a point as the browser sends them (numbers or strict decimal texts).
bool real_of(const Json& j, const char* key, double& out) {
    if (!j.contains(key)) return false;
    const Json& v = j[key];
    if (v.is_number()) {
        out = v.get<double>();
        return std::isfinite(out);
    }
    return v.is_string() && core::parse_real(v.get<std::string>(), out);
}

bool int_of(const Json& j, const char* key, long low, long high, int& out) {
    if (!j.contains(key)) return false;
    const Json& v = j[key];
    if (v.is_number_integer()) {
        const long n = v.get<long>();
        if (n < low || n > high) return false;
        out = static_cast<int>(n);
        return true;
    }
    return v.is_string() && core::parse_int(v.get<std::string>(), low, high, out);
}

bool point_of(const Json& j, bool vv, core::PointValues& p) {
    bool ok = int_of(j, "cmd_mode", -99, 99, p.cmdMode) && int_of(j, "step_mode", -99, 99, p.stepMode) &&
              real_of(j, "stop_pos", p.stopPos) && real_of(j, "speed", p.speed) && real_of(j, "stop_timer", p.stopTimer) &&
              int_of(j, "m_code", -9999, 9999, p.mCode) && int_of(j, "m_valid", -99, 99, p.mValid) &&
              int_of(j, "m_timing", -99, 99, p.mTiming);
    if (vv) ok = ok && real_of(j, "accel", p.accel) && real_of(j, "decel", p.decel);
    return ok;
}

}  // namespace

// ---- the sets in hand
struct Api::Sets {
    std::unique_ptr<NewParaSet> ext;
    std::string extName;
    std::unique_ptr<ParaSet> para;
    std::string paraName;

    template <class P>
    std::unique_ptr<typename P::Set>& params() {
        if constexpr (P::kExt) return ext;
        else return para;
    }
    template <class P>
    std::string& paramsName() {
        if constexpr (P::kExt) return extName;
        else return paraName;
    }
    std::unique_ptr<ItiDatSet> pos;
    std::string posName;
    std::unique_ptr<ItiVvDatSet> vv;
    std::string vvName;

    template <class T>
    std::unique_ptr<typename T::Set>& table() {
        if constexpr (T::kVv) return vv;
        else return pos;
    }
    template <class T>
    std::string& tableName() {
        if constexpr (T::kVv) return vvName;
        else return posName;
    }
};

// One request being answered.
struct Api::Call {
    Api& api;
    const httplib::Request& req;
    httplib::Response& res;
    Json body;

    core::Lang lang() const { return api.lang_; }
    void reply(const Json& j, int status = 200) {
        res.status = status;
        res.set_content(j.dump(-1, ' ', false, Json::error_handler_t::replace), "application/json");
    }
    void outcome(const Outcome& o, Json extra = Json::object()) {
        Json j = outcome_json(lang(), o);
        for (auto& [k, v] : extra.items()) j[k] = v;
        reply(j);
    }
    void bad(const std::string& why) {
        reply({{"code", 400}, {"message", core::say(lang(), Msg::ServeBadRequest, {why})}}, 400);
    }
    // "entry": N when given, else the selected entry.
    bool entry(std::optional<int>& out) {
        out.reset();
        if (!body.contains("entry") || body["entry"].is_null()) return true;
        int n = 0;
        if (!int_of(body, "entry", 1, core::kMaxEntries, n)) return false;
        out = n;
        return true;
    }
    std::string param(const char* key) const { return req.has_param(key) ? req.get_param_value(key) : ""; }
    void file(const std::string& bytes, const std::string& name, const char* type) {
        res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
        res.set_content(bytes, type);
    }
};

struct Handlers {
    using Call = Api::Call;

    // One operation on the line or the sets: serialised, announced on the
    // event stream, and a browser's cancel reaches the running transfer.
    static void device(Call& c, const std::string& op, const std::function<void(core::ProgressView*)>& fn) {
        Api& api = c.api;
        std::lock_guard<std::mutex> lock(api.device_);
        {
            std::lock_guard<std::mutex> state(api.state_);
            api.running_ = op;
            api.stop_ = false;
        }
        api.hub_.publish("start", Json{{"op", op}}.dump());
        HubProgress view(api.hub_, op);
        // The operation is over also when it throws: the next one starts clean.
        struct Done {
            Api& api;
            ~Done() {
                std::lock_guard<std::mutex> state(api.state_);
                api.running_.clear();
                if (api.cancelling_) {
                    core::reset_interrupt();
                    api.cancelling_ = false;
                }
            }
        };
        {
            Done done{api};
            fn(&view);
        }
        const Json reply = Json::parse(c.res.body, nullptr, false);
        api.hub_.publish("end", Json{{"op", op}, {"code", reply.is_object() && reply.contains("code") ? reply["code"] : Json(0)}}.dump());
    }

    // The target of a device operation, identified (locks checked first).
    static bool target(Call& c, core::Target& t) {
        std::optional<int> entry;
        if (!c.entry(entry)) {
            c.bad("entry");
            return false;
        }
        if (Outcome r = core::open_target(entry, t); !r.ok()) {
            c.outcome(r);
            return false;
        }
        return true;
    }

    // The target of a parameter transfer: the amplifier, or the servo operator.
    template <class P>
    static bool params_target(Call& c, core::Target& t) {
        std::optional<int> entry;
        if (!c.entry(entry)) {
            c.bad("entry");
            return false;
        }
        if (Outcome r = P::open(entry, t); !r.ok()) {
            c.outcome(r);
            return false;
        }
        return true;
    }

    template <class P>
    static bool need_params(Call& c) {
        if (c.api.sets_->template params<P>()) return true;
        c.reply({{"code", TAV_E_FILE_NAME}, {"message", core::say(c.lang(), Msg::ServeNoSet, {P::word()})}}, 409);
        return false;
    }

    template <class T>
    static bool need_table(Call& c) {
        if (c.api.sets_->template table<T>()) return true;
        c.reply({{"code", TAV_E_FILE_NAME}, {"message", core::say(c.lang(), Msg::ServeNoSet, {T::word()})}}, 409);
        return false;
    }

    // ---- the line
    static void line(Call& c) {
        core::StationList list;
        const Outcome r = core::read_station_list(list);
        if (!r.ok()) return c.outcome(r);
        Json entries = Json::array();
        for (const core::StationEntry& e : list.entries)
            entries.push_back({{"entry", e.entry}, {"station", e.station}, {"answered", e.flag != 0},
                               {"name", core::utf8_of(e.name.c_str())}, {"selected", e.entry == list.selected}});
        const Outcome locks = core::check_line_locks();
        Json lockState = outcome_json(c.lang(), locks);
        lockState["port"] = locks.msg == Msg::PortLocked;
        lockState["trace"] = locks.msg == Msg::TraceLocked;
        c.outcome(r, {{"file", list.path}, {"selected", list.selected}, {"device", core::line_device()},
                      {"locks", lockState}, {"entries", entries}});
    }

    static void select(Call& c) {
        int entry = 0;
        if (!int_of(c.body, "entry", 1, core::kMaxEntries, entry)) return c.bad("entry");
        c.outcome(core::select_entry(entry), {{"selected", entry}});
    }

    static void identify(Call& c) {
        device(c, "identify", [&](core::ProgressView*) {
            core::Target t;
            if (target(c, t)) c.outcome(core::success(), {{"target", target_json(t)}});
        });
    }

    static void online(Call& c) {
        const bool on = c.body.value("online", true);
        device(c, on ? "online" : "offline", [&](core::ProgressView*) {
            core::Target t;
            if (target(c, t)) c.outcome(core::switch_online(t, on), {{"target", target_json(t)}});
        });
    }

    // ---- extended and standard parameters
    template <class P>
    static void params_show(Call& c) {
        Api::Sets& s = *c.api.sets_;
        auto& set = s.template params<P>();
        if (!set) return c.reply({{"code", 0}, {"set", nullptr}});
        c.reply({{"code", 0}, {"set", params_json<P>(set.get(), s.template paramsName<P>())}});
    }

    template <class P>
    static void params_create(Call& c) {
        const std::string modelText = c.body.value("model", std::string("LIN"));
        const int model = core::model_number(modelText);
        int kind = 0;
        if (model < 0) return c.bad("model");
        if (c.body.contains("kind") && !int_of(c.body, "kind", 0, 2, kind)) return c.bad("kind");
        auto set = std::make_unique<typename P::Set>();
        std::unique_lock<std::mutex> definitions(c.api.device_);
        const int code = P::create(model, kind, set.get());
        definitions.unlock();
        if (code != 0)
            return c.outcome(core::failure(code, Msg::StepCreate, {modelText}));
        c.api.sets_->template params<P>() = std::move(set);
        c.api.sets_->template paramsName<P>() = kind == 1 ? "new.syp" : kind == 2 ? "new.hsp" : "new.k7p";
        params_show<P>(c);
    }

    // "changes": [{"no": N, "value": "text"}]: all checked before the first is stored.
    template <class P>
    static void params_change(Call& c) {
        if (!need_params<P>(c)) return;
        if (!c.body.contains("changes") || !c.body["changes"].is_array()) return c.bad("changes");
        auto& set = c.api.sets_->template params<P>();
        auto trial = std::make_unique<typename P::Set>();
        std::memcpy(static_cast<void*>(trial.get()), set.get(), sizeof *trial);
        for (const Json& change : c.body["changes"]) {
            int no = 0;
            double value = 0;
            if (!int_of(change, "no", 1, P::kLast, no) || !real_of(change, "value", value)) return c.bad("no/value");
            if (Outcome r = P::change(trial.get(), no, value); !r.ok()) return c.outcome(r, {{"no", no}});
        }
        set = std::move(trial);
        params_show<P>(c);
    }

    template <class P>
    static void params_reset(Call& c) {
        if (!need_params<P>(c)) return;
        int no = 0;
        if (!int_of(c.body, "no", 1, P::kLast, no)) return c.bad("no");
        if (const int code = P::reset(c.api.sets_->template params<P>().get(), no); code != 0)
            return c.outcome(core::failure(code, Msg::StepParameter, {std::to_string(no)}));
        params_show<P>(c);
    }

    template <class P>
    static void params_read(Call& c) {
        int kind = 0;
        if (c.body.contains("kind") && !int_of(c.body, "kind", 0, 2, kind)) return c.bad("kind");
        device(c, std::string(P::op()) + "-read", [&](core::ProgressView* view) {
            core::Target t;
            if (!params_target<P>(c, t)) return;
            auto set = std::make_unique<typename P::Set>();
            if (Outcome r = P::read(set.get(), t, kind, view); !r.ok()) return c.outcome(r);
            Api::Sets& s = *c.api.sets_;
            s.template params<P>() = std::move(set);
            char name[32];
            std::snprintf(name, sizeof name, "amp%03d%s", t.entry, kind == 1 ? ".syp" : kind == 2 ? ".hsp" : ".k7p");
            s.template paramsName<P>() = name;
            c.outcome(core::success(), {{"target", target_json(t)}, {"set", params_json<P>(s.template params<P>().get(), name)}});
        });
    }

    template <class P>
    static void params_write(Call& c) {
        if (!need_params<P>(c)) return;
        const bool all = c.body.value("all", false);
        device(c, std::string(P::op()) + "-write", [&](core::ProgressView* view) {
            Api::Sets& s = *c.api.sets_;
            auto* set = s.template params<P>().get();
            if (Outcome o = P::check(set, all); !o.ok()) return c.outcome(o);
            core::Target t;
            if (!params_target<P>(c, t)) return;
            const Outcome r = P::write(set, t, all, view);
            c.outcome(r, {{"target", target_json(t)}, {"set", params_json<P>(set, s.template paramsName<P>())}});
        });
    }

    template <class P>
    static void params_compare(Call& c) {
        if (!need_params<P>(c)) return;
        device(c, std::string(P::op()) + "-compare", [&](core::ProgressView* view) {
            auto* ref = c.api.sets_->template params<P>().get();
            core::Target t;
            if (!params_target<P>(c, t)) return;
            auto amp = std::make_unique<typename P::Set>();
            if (Outcome r = P::read(amp.get(), t, ref->nKind, view); !r.ok()) return c.outcome(r);
            c.outcome(core::success(), {{"target", target_json(t)}, {"differences", params_differences<P>(ref, amp.get())}});
        });
    }

    template <class P>
    static void params_open(Call& c) {
        const std::string name = c.param("name");
        if (!file_name_of_kind(name, {".k7p", ".syp", ".hsp"}))
            return c.bad(core::say(c.lang(), Msg::ServeBadFileName, {name, ".k7p .syp .hsp"}));
        const std::string path = c.api.folder_ + "/" + name;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.req.body;
        auto set = std::make_unique<typename P::Set>();
        std::unique_lock<std::mutex> definitions(c.api.device_);
        const int code = P::load(path.c_str(), core::page_of_file(name), set.get());
        definitions.unlock();
        fs::remove(path);
        if (code != 0) return c.outcome(core::failure(code, Msg::StepLoad, {name}));
        c.api.sets_->template params<P>() = std::move(set);
        c.api.sets_->template paramsName<P>() = name;
        params_show<P>(c);
    }

    template <class P>
    static void params_save(Call& c, bool csv) {
        if (!need_params<P>(c)) return;
        const std::string own = c.api.sets_->template paramsName<P>();
        const std::string name = csv ? fs::path(own).stem().string() + ".csv" : c.param("name").empty() ? own : c.param("name");
        if (!csv && !file_name_of_kind(name, {".k7p", ".syp", ".hsp"}))
            return c.bad(core::say(c.lang(), Msg::ServeBadFileName, {name, ".k7p .syp .hsp"}));
        const std::string path = c.api.folder_ + "/" + name;
        auto* set = c.api.sets_->template params<P>().get();
        std::unique_lock<std::mutex> definitions(c.api.device_);
        const int code = csv ? P::csv(path.c_str(), set) : P::save(path.c_str(), set);
        definitions.unlock();
        std::string bytes;
        const bool read = code == 0 && read_whole(path, bytes);
        fs::remove(path);
        if (!read) return c.outcome(core::failure(code != 0 ? code : TAV_E_FILE_NAME, csv ? Msg::StepCsv : Msg::StepSave, {name}));
        c.file(bytes, name, csv ? "text/csv" : "application/octet-stream");
    }

    static void ext_listing(Call& c) {
        if (!need_params<ExtParams>(c)) return;
        std::vector<std::string> lines;
        const int code = core::ext_listing(c.api.sets_->ext.get(), lines);
        if (code != 0) return c.outcome(core::failure(code, Msg::StepListing));
        c.reply({{"code", 0}, {"lines", lines}});
    }

    // ---- positioning and VV tables
    template <class T>
    static void table_show(Call& c) {
        Api::Sets& s = *c.api.sets_;
        auto& set = s.template table<T>();
        if (!set) return c.reply({{"code", 0}, {"set", nullptr}});
        c.reply({{"code", 0}, {"set", table_json<T>(set.get(), s.template tableName<T>())}});
    }

    template <class T>
    static void table_create(Call& c) {
        const std::string modelText = c.body.value("model", std::string(T::kVv ? "VEL" : "LIN"));
        const int model = core::model_number(modelText);
        if (model < 0) return c.bad("model");
        auto set = std::make_unique<typename T::Set>();
        if (const int code = T::create(model, set.get()); code != 0)
            return c.outcome(core::failure(code, Msg::StepCreate, {modelText}));
        c.api.sets_->template table<T>() = std::move(set);
        c.api.sets_->template tableName<T>() = T::kVv ? "new.m7v" : "new.k7l";
        table_show<T>(c);
    }

    // "no", "values": {...}, "insert": bool: checked against the table's decimals first.
    template <class T>
    static void table_point(Call& c) {
        if (!need_table<T>(c)) return;
        int no = 0;
        core::PointValues p;
        if (!int_of(c.body, "no", 1, T::kPoints, no)) return c.bad("no");
        if (!c.body.contains("values") || !point_of(c.body["values"], T::kVv, p)) return c.bad("values");
        auto& set = c.api.sets_->template table<T>();
        auto trial = std::make_unique<typename T::Set>(*set);
        if (Outcome r = T::change(trial.get(), no, p, c.body.value("insert", false)); !r.ok()) return c.outcome(r, {{"no", no}});
        set = std::move(trial);
        table_show<T>(c);
    }

    template <class T>
    static void table_reset(Call& c) {
        if (!need_table<T>(c)) return;
        int no = 0;
        if (!int_of(c.body, "no", 1, T::kPoints, no)) return c.bad("no");
        if (const int code = T::reset(c.api.sets_->template table<T>().get(), no); code != 0)
            return c.outcome(core::failure(code, Msg::StepPoint, {std::to_string(no)}));
        table_show<T>(c);
    }

    template <class T>
    static void table_read(Call& c) {
        const std::string op = T::kVv ? "vv-read" : "pos-read";
        device(c, op, [&](core::ProgressView* view) {
            core::Target t;
            if (!target(c, t)) return;
            auto set = std::make_unique<typename T::Set>();
            if (Outcome r = T::read(set.get(), t, view); !r.ok()) return c.outcome(r);
            c.api.sets_->template table<T>() = std::move(set);
            char name[32];
            std::snprintf(name, sizeof name, "amp%03d%s", t.entry, T::kVv ? ".m7v" : ".k7l");
            c.api.sets_->template tableName<T>() = name;
            Api::Sets& s = *c.api.sets_;
            c.outcome(core::success(), {{"target", target_json(t)}, {"set", table_json<T>(s.template table<T>().get(), name)}});
        });
    }

    template <class T>
    static void table_write(Call& c) {
        if (!need_table<T>(c)) return;
        const bool all = c.body.value("all", false);
        device(c, T::kVv ? "vv-write" : "pos-write", [&](core::ProgressView* view) {
            core::Target t;
            if (!target(c, t)) return;
            Api::Sets& s = *c.api.sets_;
            auto* set = s.template table<T>().get();
            const Outcome r = T::write(set, t, all, view);
            c.outcome(r, {{"target", target_json(t)}, {"set", table_json<T>(set, s.template tableName<T>())}});
        });
    }

    // The points whose listing line differs between the table in hand and the amplifier's.
    template <class T>
    static void table_compare(Call& c) {
        if (!need_table<T>(c)) return;
        device(c, T::kVv ? "vv-compare" : "pos-compare", [&](core::ProgressView* view) {
            core::Target t;
            if (!target(c, t)) return;
            auto amp = std::make_unique<typename T::Set>();
            if (Outcome r = T::read(amp.get(), t, view); !r.ok()) return c.outcome(r);
            const std::vector<std::string> mine = T::lines(c.api.sets_->template table<T>().get()), theirs = T::lines(amp.get());
            Json rows = Json::array();
            for (std::size_t i = 3; i < mine.size() || i < theirs.size(); ++i) {
                const std::string a = i < mine.size() ? mine[i] : "-", b = i < theirs.size() ? theirs[i] : "-";
                if (a != b) rows.push_back({{"no", static_cast<int>(i - 2)}, {"reference", a}, {"amplifier", b}});
            }
            c.outcome(core::success(), {{"target", target_json(t)}, {"differences", rows}});
        });
    }

    template <class T>
    static void table_open(Call& c) {
        const std::string name = c.param("name");
        if (!file_name_of_kind(name, T::exts())) return c.bad(core::say(c.lang(), Msg::ServeBadFileName, {name, joined(T::exts())}));
        const std::string path = c.api.folder_ + "/" + name;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.req.body;
        auto set = std::make_unique<typename T::Set>();
        const int code = T::load(path.c_str(), set.get());
        fs::remove(path);
        if (code != 0) return c.outcome(core::failure(code, Msg::StepLoad, {name}));
        c.api.sets_->template table<T>() = std::move(set);
        c.api.sets_->template tableName<T>() = name;
        table_show<T>(c);
    }

    template <class T>
    static void table_save(Call& c, bool csv) {
        if (!need_table<T>(c)) return;
        const std::string own = c.api.sets_->template tableName<T>();
        const std::string name = csv ? fs::path(own).stem().string() + ".csv" : c.param("name").empty() ? own : c.param("name");
        if (!csv && !file_name_of_kind(name, T::exts()))
            return c.bad(core::say(c.lang(), Msg::ServeBadFileName, {name, joined(T::exts())}));
        const std::string path = c.api.folder_ + "/" + name;
        auto* set = c.api.sets_->template table<T>().get();
        const int code = csv ? T::csv(path.c_str(), set) : T::save(path.c_str(), set);
        std::string bytes;
        const bool read = code == 0 && read_whole(path, bytes);
        fs::remove(path);
        if (!read) return c.outcome(core::failure(code != 0 ? code : TAV_E_FILE_NAME, csv ? Msg::StepCsv : Msg::StepSave, {name}));
        c.file(bytes, name, csv ? "text/csv" : "application/octet-stream");
    }

    template <class T>
    static void table_listing(Call& c) {
        if (!need_table<T>(c)) return;
        c.reply({{"code", 0}, {"lines", T::lines(c.api.sets_->template table<T>().get())}});
    }

    // ---- whole-line backup and restore, in a folder of the machine the server runs on
    static bool folder_of(Call& c, std::string& dir) {
        dir = c.body.value("dir", std::string());
        if (dir.empty() || dir.find('\0') != std::string::npos) {
            c.bad("dir");
            return false;
        }
        return true;
    }

    static core::Progress progress_to(Call& c, core::ProgressView* view) {
        core::Progress p;
        p.report = [view](unsigned percent, const std::string&) { view->rate(percent > 100 ? 100 : percent); };
        p.stop = &c.api.stop_;
        return p;
    }

    static void backup(Call& c) {
        std::string dir;
        std::optional<int> entry;
        if (!folder_of(c, dir)) return;
        if (!c.entry(entry)) return c.bad("entry");
        device(c, "backup", [&](core::ProgressView* view) {
            core::Manifest m;
            const Outcome r = core::backup_line({dir, entry, c.api.tool_}, progress_to(c, view), m);
            c.outcome(r, {{"dir", dir}, {"manifest", Json::parse(core::manifest_json(m), nullptr, false)}});
        });
    }

    static void restore(Call& c) {
        std::string dir;
        std::optional<int> entry;
        if (!folder_of(c, dir)) return;
        if (!c.entry(entry)) return c.bad("entry");
        const bool dryRun = c.body.value("dry_run", false);
        device(c, dryRun ? "restore-plan" : "restore", [&](core::ProgressView* view) {
            core::RestoreReport report;
            const Outcome r = core::restore_line({dir, entry, dryRun}, progress_to(c, view), report);
            Json mismatches = Json::array(), sets = Json::array();
            for (const core::Mismatch& m : report.mismatches)
                mismatches.push_back({{"entry", m.entry}, {"station", m.station}, {"field", m.field}, {"backup", m.backup}, {"line", m.line}});
            for (const core::SetReport& s : report.sets) {
                Json plan = Json::array();
                for (const core::Difference& d : s.plan) plan.push_back({{"no", d.no}, {"name", d.name}, {"line", d.a}, {"backup", d.b}});
                sets.push_back({{"file", s.file.file}, {"entry", s.file.entry}, {"station", s.file.station}, {"plan", plan},
                                {"written", s.written}, {"verified", s.verified}, {"refused", s.refused},
                                {"not_verified", s.notVerified}, {"result", outcome_json(c.lang(), s.outcome)}});
            }
            c.outcome(r, {{"dir", dir}, {"dry_run", dryRun}, {"mismatches", mismatches}, {"sets", sets}});
        });
    }

    // ---- a test run
    static Json status_json(const unsigned char status[2]) { return {{"str1", status[0]}, {"str2", status[1]}}; }

    static Json run_json(const PositioningRunStatus& run) {
        return {{"point", (run.byDataNo >> 4) * 10 + (run.byDataNo & 0x0F)},
                {"position", number(run.dValue1)},
                {"speed", number(run.dValue2)},
                {"to_go", number(run.dValue3)},
                {"state", static_cast<int>(run.nCode)}};
    }

    static void run_on(Call& c) {
        const bool on = c.body.value("on", true);
        int speed = 0;
        if (c.body.contains("speed") && !int_of(c.body, "speed", 0, 65535, speed)) return c.bad("speed");
        device(c, on ? "run-on" : "run-off", [&](core::ProgressView*) {
            core::Target t;
            if (!target(c, t)) return;
            unsigned char status[2] = {};
            const Outcome r = core::run_on_off(t, on, speed, status);
            c.outcome(r, {{"status", status_json(status)}});
        });
    }

    static void run_place(Call& c, bool start) {
        int number = 0;
        if (start && !int_of(c.body, "point", 1, 99, number)) return c.bad("point");
        device(c, start ? "start" : "cancel", [&](core::ProgressView*) {
            core::Target t;
            if (!target(c, t)) return;
            unsigned char status[2] = {};
            int ready = 0;
            PositioningRunStatus run{};
            Outcome r = core::place_run(t, start, number, status, ready, &run);
            // Not ready: nothing was sent, as the terminal says.
            if (start && r.ok() && ready == 0) r = core::failure(1, Msg::NotReady);
            c.outcome(r, {{"status", status_json(status)}, {"ready", ready != 0}, {"run", run_json(run)}});
        });
    }

    static void run_status(Call& c) {
        std::optional<int> entry;
        const std::string text = c.param("entry");
        int n = 0;
        if (!text.empty()) {
            if (!core::parse_int(text, 1, core::kMaxEntries, n)) return c.bad("entry");
            entry = n;
        }
        std::lock_guard<std::mutex> lock(c.api.device_);
        core::Target t;
        if (Outcome r = core::resolve_target(entry, t); !r.ok()) return c.outcome(r);
        if (Outcome r = core::check_line_locks(); !r.ok()) return c.outcome(r);
        unsigned char status[2] = {};
        PositioningRunStatus run{};
        const Outcome r = core::read_run_status(t, status, run);
        c.outcome(r, {{"status", status_json(status)}, {"run", run_json(run)}});
    }
};

Api::Api(EventHub& hub, core::Lang lang, std::string tool)
    : hub_(hub), lang_(lang), sets_(std::make_unique<Sets>()), tool_(std::move(tool)) {
    char folder[] = "/tmp/tav-serve-XXXXXX";
    if (::mkdtemp(folder) != nullptr) folder_ = folder;
}

Api::~Api() {
    std::error_code ec;
    if (!folder_.empty()) fs::remove_all(folder_, ec);
}

bool Api::cancelling() const {
    std::lock_guard<std::mutex> lock(state_);
    return cancelling_;
}

// The first session to change something drives the line until it releases
// it or is not heard of for a minute; the others read only.
bool Api::claim_drive(const httplib::Request& req, httplib::Response& res) {
    const std::string session = sessionOf_(req);
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(state_);
    if (!session.empty() && (driver_.empty() || driver_ == session || now - driverSeen_ > kDriverIdle)) {
        driver_ = session;
        driverSeen_ = now;
        return true;
    }
    res.status = 409;
    res.set_content(Json{{"code", TAV_E_LOCKED}, {"message", core::say(lang_, Msg::ServeDrivenElsewhere)}}.dump(), "application/json");
    return false;
}

void Api::post(httplib::Server& http, const std::string& path, std::function<void(Call&)> handler, bool drives) {
    http.Post(path, [this, handler, drives](const httplib::Request& req, httplib::Response& res) {
        Call c{*this, req, res, Json::object()};
        if (req.get_header_value("Content-Type").rfind("application/json", 0) == 0 && !req.body.empty()) {
            c.body = Json::parse(req.body, nullptr, false);
            if (!c.body.is_object()) return c.bad("JSON object expected");
        }
        if (drives && !claim_drive(req, res)) return;
        // A field of the wrong JSON type is the request's fault, not the server's.
        try {
            handler(c);
        } catch (const nlohmann::json::exception& e) {
            c.bad(e.what());
        }
    });
}

void Api::get(httplib::Server& http, const std::string& path, std::function<void(Call&)> handler) {
    http.Get(path, [this, handler](const httplib::Request& req, httplib::Response& res) {
        Call c{*this, req, res, Json::object()};
        handler(c);
    });
}

void Api::routes(httplib::Server& http, SessionOf sessionOf) {
    sessionOf_ = std::move(sessionOf);
    using H = Handlers;
    get(http, "/api/session", [](Call& c) {
        const std::string session = c.api.sessionOf_(c.req);
        std::lock_guard<std::mutex> lock(c.api.state_);
        const bool idle = std::chrono::steady_clock::now() - c.api.driverSeen_ > kDriverIdle;
        const bool driving = !session.empty() && c.api.driver_ == session;
        c.reply({{"code", 0},
                 {"lang", c.api.lang_ == core::Lang::Ja ? "ja" : "en"},
                 {"driving", driving},
                 {"read_only", !driving && !c.api.driver_.empty() && !idle},
                 {"running", c.api.running_}});
    });
    post(http, "/api/lang", [](Call& c) {
        const std::string lang = c.body.value("lang", std::string());
        if (lang != "ja" && lang != "en") return c.bad("lang");
        c.api.lang_ = lang == "ja" ? core::Lang::Ja : core::Lang::En;
        c.reply({{"code", 0}, {"lang", lang}});
    }, false);
    post(http, "/api/drive", [](Call& c) { c.reply({{"code", 0}, {"driving", true}}); });
    post(http, "/api/release", [](Call& c) {
        std::lock_guard<std::mutex> lock(c.api.state_);
        if (c.api.driver_ == c.api.sessionOf_(c.req)) c.api.driver_.clear();
        c.reply({{"code", 0}});
    }, false);
    post(http, "/api/cancel", [](Call& c) {
        std::lock_guard<std::mutex> lock(c.api.state_);
        const std::string op = c.api.running_;
        if (!op.empty()) {
            c.api.cancelling_ = true;
            c.api.stop_ = true;
            core::request_cancel();
        }
        c.reply({{"code", 0}, {"cancelling", op.empty() ? Json(nullptr) : Json(op)}});
    });

    get(http, "/api/line", H::line);
    post(http, "/api/select", H::select);
    post(http, "/api/identify", H::identify);
    post(http, "/api/online", H::online);

    auto params = [&](const std::string& base, auto kind) {
        using P = decltype(kind);
        get(http, base, H::params_show<P>);
        post(http, base + "/create", H::params_create<P>);
        post(http, base + "/change", H::params_change<P>);
        post(http, base + "/reset", H::params_reset<P>);
        post(http, base + "/read", H::params_read<P>);
        post(http, base + "/write", H::params_write<P>);
        post(http, base + "/compare", H::params_compare<P>);
        post(http, base + "/open", H::params_open<P>);
        get(http, base + "/save", [](Call& c) { H::params_save<P>(c, false); });
        get(http, base + "/csv", [](Call& c) { H::params_save<P>(c, true); });
    };
    params("/api/ext", ExtParams{});
    params("/api/para", StdParams{});
    get(http, "/api/ext/listing", H::ext_listing);

    auto tables = [&](const std::string& base, auto kind) {
        using T = decltype(kind);
        get(http, base, H::table_show<T>);
        post(http, base + "/create", H::table_create<T>);
        post(http, base + "/point", H::table_point<T>);
        post(http, base + "/reset", H::table_reset<T>);
        post(http, base + "/read", H::table_read<T>);
        post(http, base + "/write", H::table_write<T>);
        post(http, base + "/compare", H::table_compare<T>);
        post(http, base + "/open", H::table_open<T>);
        get(http, base + "/save", [](Call& c) { H::table_save<T>(c, false); });
        get(http, base + "/csv", [](Call& c) { H::table_save<T>(c, true); });
        get(http, base + "/listing", H::table_listing<T>);
    };
    tables("/api/pos", PosTable{});
    tables("/api/vv", VvTable{});

    post(http, "/api/backup", H::backup);
    post(http, "/api/restore", H::restore);
    post(http, "/api/run/on", H::run_on);
    post(http, "/api/run/start", [](Call& c) { H::run_place(c, true); });
    post(http, "/api/run/cancel", [](Call& c) { H::run_place(c, false); });
    get(http, "/api/run/status", H::run_status);
}

}  // namespace tavhost::serve
