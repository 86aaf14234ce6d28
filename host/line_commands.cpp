// The station list and the amplifier itself: stations, select, identify,
// online/offline, run, jog, start/cancel and the live status. Every device
// command names its target (--entry N, default the selected entry) and
// prints it first; commands whose library call works on the selected entry
// get it selected for the call only.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "Tav_acs.h"
#include "host/cli.h"
#include "host/core/device.h"
#include "wynapi/wynapi.h"

namespace tavhost {

namespace {

std::string hex2(unsigned value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
    return text;
}

// STR1 in words: the ready and offline flags and the error bits.
std::vector<std::string> status_words(const Ctx& ctx, unsigned str1) {
    static const struct {
        unsigned bit;
        Msg word;
    } kBits[] = {{0x02, Msg::StatusReady},         {0x04, Msg::StatusOffline},  {0x08, Msg::StatusInitialising},
                 {0x20, Msg::StatusTransmission}, {0x40, Msg::StatusDataError}, {0x80, Msg::StatusRefused}};
    std::vector<std::string> words;
    for (const auto& b : kBits)
        if ((str1 & b.bit) != 0) words.push_back(ctx.t(b.word));
    if ((str1 & 0x02) == 0) words.insert(words.begin(), ctx.t(Msg::StatusNotReady));
    return words;
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "" : ", ") + w;
    return out;
}

void print_status(Ctx& ctx, const unsigned char* status) {
    const std::vector<std::string> words = status_words(ctx, status[0]);
    std::fprintf(ctx.out(), "STR1=0x%02X STR2=0x%02X  %s\n", status[0], status[1], joined(words).c_str());
    ctx.doc["str1"] = status[0];
    ctx.doc["str2"] = status[1];
    ctx.doc["status"] = words;
}

int report(Ctx& ctx, const std::string& step, int code) {
    if (code != 0) return fail(ctx, step, code);
    std::fprintf(ctx.out(), "%s: %s\n", step.c_str(), message(code).c_str());
    return 0;
}

// Opens the line to the target after open_target identified it.
int open_line(Ctx& ctx) {
    const int rc = srvTav_Wyn_Net_Open();
    return rc == 0 ? 0 : fail(ctx, ctx.t(Msg::StepLineOpen, {core::line_device()}), rc);
}

int cmd_stations(Ctx& ctx) {
    core::StationList list;
    if (core::Outcome r = core::read_station_list(list); !r.ok()) return fail(ctx, r);
    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::StationListOf, {list.path}).c_str());
    std::fprintf(ctx.out(), "  %s %s %s  %s\n", core::pad_left(ctx.t(Msg::ColEntry), 6).c_str(),
                 core::pad_left(ctx.t(Msg::ColStation), 8).c_str(), core::pad_right(ctx.t(Msg::ColAnswered), 10).c_str(),
                 ctx.t(Msg::ColName).c_str());
    Json entries = Json::array();
    for (const core::StationEntry& e : list.entries) {
        const std::string name = to_utf8(e.name.c_str());
        std::fprintf(ctx.out(), "%s %s %s %s  %s\n", e.entry == list.selected ? "*" : " ",
                     core::pad_left(std::to_string(e.entry), 6).c_str(), core::pad_left(std::to_string(e.station), 8).c_str(),
                     core::pad_right(e.flag ? ctx.t(Msg::Yes) : "-", 10).c_str(), name.c_str());
        entries.push_back({{"entry", e.entry}, {"station", e.station}, {"answered", e.flag != 0}, {"name", name},
                           {"selected", e.entry == list.selected}});
    }
    if (list.selected == 0) std::fprintf(stderr, "%s\n", ctx.t(Msg::SelectionInvalid, {list.path, list.selectedText,
                                                                                      std::to_string(list.entries.size())}).c_str());
    ctx.doc["file"] = list.path;
    ctx.doc["selected"] = list.selected;
    ctx.doc["entries"] = entries;
    return 0;
}

int cmd_select(Ctx& ctx, int entry) {
    if (core::Outcome r = core::select_entry(entry); !r.ok()) return fail(ctx, r);
    core::Target t;
    core::resolve_target(entry, t);
    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::Selected, {std::to_string(entry), std::to_string(t.station)}).c_str());
    ctx.doc["selected"] = entry;
    ctx.doc["station"] = t.station;
    return 0;
}

int cmd_identify(Ctx& ctx, const std::optional<int>& entry, bool withRecord) {
    core::Target t;
    if (int rc = open_target(ctx, entry, t)) return rc;
    if (withRecord) {
        // The raw record is read from the selected entry: selected for the call.
        core::SelectionGuard selection;
        if (core::Outcome r = selection.select(t); !r.ok()) return fail(ctx, r);
        SysConditionRecord raw{};
        const int rc = srvTav_Open_SysCondition_Rd_Close(&raw);
        if (core::Outcome r = selection.restore(); !r.ok()) return fail(ctx, r);
        if (rc != 0) return fail(ctx, ctx.t(Msg::StepRecord), rc);
        std::string record;
        const auto* bytes = reinterpret_cast<const unsigned char*>(&raw);
        for (size_t i = 0; i < sizeof raw; ++i) record += (record.empty() ? "" : " ") + hex2(bytes[i]);
        std::fprintf(ctx.out(), "%s %s\n", core::pad_right(ctx.t(Msg::LabelRecord) + ":", 18).c_str(), record.c_str());
        ctx.doc["record"] = record;
    }
    const AmpIdentification& id = t.id;
    const struct {
        Msg label;
        const char* key;
        const char* text;
    } rows[] = {
        {Msg::LabelFamily, "family_name", id.szFamilyName},       {Msg::LabelModel, "model", id.szModelName},
        {Msg::LabelCapacity, "capacity", id.szAmpCapacity},       {Msg::LabelVoltage, "supply_voltage", id.szAmpVoltage},
        {Msg::LabelExtCode, "extended_code", id.szExtCode},       {Msg::LabelMotor, "motor", id.szMotorName},
        {Msg::LabelMotorSeries, "motor_series", id.szMotorSeries}, {Msg::LabelMotorCapacity, "motor_capacity", id.szMotorLabel},
        {Msg::LabelMotorSpeed, "motor_speed", id.szMotorSpeed},   {Msg::LabelEncoder, "encoder", id.szEncoder},
    };
    std::fprintf(ctx.out(), "%s 0x%02X\n", core::pad_right(ctx.t(Msg::LabelFamilyByte) + ":", 18).c_str(), id.byFamily);
    if (id.byFamily == 0) std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::NoAmplifierTexts).c_str());
    for (const auto& r : rows) {
        const std::string value = to_utf8(r.text);
        ctx.doc[r.key] = value;
        if (id.byFamily != 0)
            std::fprintf(ctx.out(), "%s %s\n", core::pad_right(ctx.t(r.label) + ":", 18).c_str(), value.c_str());
    }
    return 0;
}

int cmd_online_offline(Ctx& ctx, const std::optional<int>& entry, int mode) {
    core::Target t;
    if (int rc = open_target(ctx, entry, t)) return rc;
    const core::Outcome r = core::switch_online(t, mode == 1);
    if (!r.ok()) return fail(ctx, r);
    return report(ctx, ctx.t(mode == 1 ? Msg::StepOnline : Msg::StepOffline), 0);
}

int cmd_run(Ctx& ctx, const std::optional<int>& entry, bool on, int speed) {
    core::Target t;
    if (int rc = open_target(ctx, entry, t)) return rc;
    unsigned char status[2] = {};
    const core::Outcome r = core::run_on_off(t, on, speed, status);
    if (r.msg == Msg::StepLineOpen) return fail(ctx, r);
    print_status(ctx, status);
    return report(ctx, ctx.t(on ? Msg::StepRunOn : Msg::StepRunOff), r.code);
}

int cmd_jog(Ctx& ctx, const std::optional<int>& entry, bool plus) {
    core::Target t;
    if (int rc = open_target(ctx, entry, t)) return rc;
    if (int rc = open_line(ctx)) return rc;
    unsigned char status[2] = {};
    const int rc = srvTav_ManuPluse_Snd(t.station, plus ? 1 : 0, status);
    Wyn_Net_Close();
    print_status(ctx, status);
    return report(ctx, plus ? "jog +" : "jog -", rc);
}

// The positioning run status in words: point, mode, position, speed, to go, state.
void print_run_status(Ctx& ctx, const PositioningRunStatus& run) {
    static const Msg kState[] = {Msg::RunIdle, Msg::RunRunning, Msg::RunArrived, Msg::RunCancelled};
    const int code = run.nCode;
    const std::string state = code >= 0 && code <= 3 ? ctx.t(kState[code]) : std::string(run.szCode);
    const std::string cols[] = {ctx.t(Msg::ColPoint), ctx.t(Msg::ColMode), ctx.t(Msg::ColStep),
                                ctx.t(Msg::ColPosition), ctx.t(Msg::ColSpeed), ctx.t(Msg::ColToGo),
                                ctx.t(Msg::ColState)};
    std::fprintf(ctx.out(), "%s %s %s %s %s %s  %s\n", core::pad_right(cols[0], 6).c_str(),
                 core::pad_right(cols[1], 5).c_str(), core::pad_right(cols[2], 12).c_str(),
                 core::pad_left(cols[3], 12).c_str(), core::pad_left(cols[4], 10).c_str(),
                 core::pad_left(cols[5], 12).c_str(), cols[6].c_str());
    std::fprintf(ctx.out(), "%s %s %s %s %s %s  %s\n", core::pad_right(run.szDataNo, 6).c_str(),
                 core::pad_right(to_utf8(run.szCmdMode), 5).c_str(), core::pad_right(to_utf8(run.szStepMode), 12).c_str(),
                 core::pad_left(run.szValue1, 12).c_str(), core::pad_left(run.szValue2, 10).c_str(),
                 core::pad_left(run.szValue3, 12).c_str(), state.c_str());
    ctx.doc["point"] = (run.byDataNo >> 4) * 10 + (run.byDataNo & 0x0F);
    ctx.doc["cmd_mode"] = static_cast<int>(run.nCmdMode);
    ctx.doc["step_mode"] = static_cast<int>(run.nStepMode);
    ctx.doc["position"] = number_json(run.dValue1);
    ctx.doc["speed"] = number_json(run.dValue2);
    ctx.doc["to_go"] = number_json(run.dValue3);
    ctx.doc["state"] = state;
    ctx.doc["code"] = code;
}

int cmd_place(Ctx& ctx, const std::optional<int>& entry, int mode, int number) {
    core::Target t;
    if (int rc = open_target(ctx, entry, t)) return rc;
    unsigned char status[2] = {};
    int ready = 0;
    PositioningRunStatus run{};
    const core::Outcome r = core::place_run(t, mode == 1, number, status, ready, &run);
    if (r.msg == Msg::StepLineOpen) return fail(ctx, r);
    if (r.code != TAV_E_START_NUMBER) print_status(ctx, status);
    if (mode == 1 && r.ok() && ready == 0) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", ctx.t(Msg::NotReady).c_str());
        ctx.doc["error"] = {{"code", 1}, {"message", ctx.t(Msg::NotReady)}};
        return 1;
    }
    if (r.ok() && mode == 1) print_run_status(ctx, run);
    return report(ctx, ctx.t(mode == 1 ? Msg::StepStart : Msg::StepCancel), r.code);
}

int cmd_status(Ctx& ctx, const std::optional<int>& entry, bool watch) {
    if (watch && ctx.json) return usage(ctx, ctx.t(Msg::WatchNoJson));
    core::Target t;
    if (int rc = open_target(ctx, entry, t)) return rc;
    if (int rc = open_line(ctx)) return rc;
    int last = 0;
    do {
        unsigned char status[2] = {};
        int ready = 0;
        last = srvTav_Status_Rd(t.station, status, &ready);
        if (watch) std::printf("\033[H\033[2J");  // redraw in place
        if (last != 0) {
            fail(ctx, ctx.t(Msg::StepStatus), last);
            break;
        }
        print_status(ctx, status);
        PositioningRunStatus run{};
        last = srvTav_ItiDatRunStatus_Rd(t.station, &run);
        if (last != 0) {
            fail(ctx, ctx.t(Msg::StepRunStatus), last);
            break;
        }
        print_run_status(ctx, run);
        std::fflush(ctx.out());
        for (int i = 0; watch && i < 5 && !core::interrupted(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (watch && !core::interrupted());
    Wyn_Net_Close();
    // --watch ends with Ctrl-C: the way to stop it, not a failure.
    return exit_status(last);
}

}  // namespace

void add_line_commands(CLI::App& app, Ctx& ctx) {
    app.add_subcommand("stations", ctx.t(Msg::HelpStations))->callback([&ctx] { ctx.run = [&ctx] { return cmd_stations(ctx); }; });

    auto entry = std::make_shared<std::string>();
    CLI::App* select = app.add_subcommand("select", ctx.t(Msg::HelpSelect));
    select->add_option("ENTRY", *entry, "station-list entry")->required()->check(int_in(1, core::kMaxEntries, "entry"));
    select->callback([&ctx, entry] { ctx.run = [&ctx, entry] { return cmd_select(ctx, to_int(*entry)); }; });

    struct Opts {
        std::string entry, state, speed = "0", direction, number;
        bool record = false, watch = false;
    };
    auto o = std::make_shared<Opts>();
    auto target = [o] { return entry_of(o->entry); };

    CLI::App* identify = app.add_subcommand("identify", ctx.t(Msg::HelpIdentify));
    add_entry_option(identify, o->entry);
    identify->add_flag("--record", o->record, "also the raw 17-byte identification record");
    identify->callback([&ctx, o, target] { ctx.run = [&ctx, o, target] { return cmd_identify(ctx, target(), o->record); }; });

    for (int mode : {1, 0}) {
        CLI::App* sub = app.add_subcommand(mode == 1 ? "online" : "offline", ctx.t(mode == 1 ? Msg::HelpOnline : Msg::HelpOffline));
        add_entry_option(sub, o->entry);
        sub->callback([&ctx, target, mode] { ctx.run = [&ctx, target, mode] { return cmd_online_offline(ctx, target(), mode); }; });
    }

    CLI::App* run = app.add_subcommand("run", ctx.t(Msg::HelpRun));
    run->add_option("STATE", o->state, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
    run->add_option("SPEED", o->speed, "manual speed selection (run on)")->check(int_in(0, 65535, "speed"));
    add_entry_option(run, o->entry);
    run->callback([&ctx, o, target] {
        ctx.run = [&ctx, o, target] { return cmd_run(ctx, target(), o->state == "on", to_int(o->speed)); };
    });

    CLI::App* jog = app.add_subcommand("jog", ctx.t(Msg::HelpJog));
    jog->add_option("DIRECTION", o->direction, "+ or -")->required()->check(CLI::IsMember({"+", "-"}));
    add_entry_option(jog, o->entry);
    jog->callback([&ctx, o, target] { ctx.run = [&ctx, o, target] { return cmd_jog(ctx, target(), o->direction == "+"); }; });

    CLI::App* start = app.add_subcommand("start", ctx.t(Msg::HelpStart));
    start->add_option("NUMBER", o->number, "positioning number 1..99")->required()->check(int_in(1, 99, "positioning number"));
    add_entry_option(start, o->entry);
    start->callback([&ctx, o, target] { ctx.run = [&ctx, o, target] { return cmd_place(ctx, target(), 1, to_int(o->number)); }; });

    CLI::App* cancel = app.add_subcommand("cancel", ctx.t(Msg::HelpCancel));
    add_entry_option(cancel, o->entry);
    cancel->callback([&ctx, target] { ctx.run = [&ctx, target] { return cmd_place(ctx, target(), 0, 0); }; });

    CLI::App* status = app.add_subcommand("status", ctx.t(Msg::HelpStatus));
    status->add_flag("--watch", o->watch, "refresh until Ctrl-C");
    add_entry_option(status, o->entry);
    status->callback([&ctx, o, target] { ctx.run = [&ctx, o, target] { return cmd_status(ctx, target(), o->watch); }; });
}

}  // namespace tavhost
