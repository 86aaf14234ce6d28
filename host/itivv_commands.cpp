// `tav vv ...`: the VV positioning table of a V-type amplifier. Every command
// works on a ".k7v"/".m7v" file, so an edit is a load, a checked change and a
// save. The transfers work on the selected entry of servo.con: the target
// entry is selected for the call only and servo.con is put back afterwards.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "host/cli.h"
#include "host/core/device.h"
#include "host/core/edits.h"
#include "host/core/loaded_file.h"
#include "host/core/numbers.h"

namespace tavhost {

namespace {

struct Opts {
    std::string model, file, out, no, entry;
    std::vector<std::string> values;
};

int load(Ctx& ctx, const std::string& file, std::unique_ptr<ItiVvDatSet>& set) {
    set = std::make_unique<ItiVvDatSet>();
    const int code = srvTav_ItiVvDatFil_Rd(file.c_str(), set.get());
    if (code != 0) return file_fail(ctx, Msg::StepLoad, file, code);
    warn_if_short(ctx, file, core::table_header_lines(file, true), set->nPointCount, Msg::ShortFilePoints);
    return 0;
}

int save(Ctx& ctx, ItiVvDatSet* set, const std::string& file) {
    const int code = srvTav_ItiVvDatFil_Wt(file.c_str(), set);
    if (code != 0) return file_fail(ctx, Msg::StepSave, file, code, true);
    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::Saved, {file}).c_str());
    return 0;
}

void table_json(Ctx& ctx, ItiVvDatSet* set) {
    ctx.doc["file"] = to_utf8(set->szFileName);
    ctx.doc["amp"] = to_utf8(set->szAmpNo);
    ctx.doc["read_date"] = to_utf8(set->szReadDate);
    ctx.doc["model"] = static_cast<int>(set->nModel);
    ctx.doc["family"] = static_cast<unsigned>(set->nFamily);
    ctx.doc["stop_pos_dp"] = static_cast<unsigned>(set->wStopPosDp);
    ctx.doc["stop_time_dp"] = static_cast<unsigned>(set->wStopTimeDp);
    Json points = Json::array();
    for (int i = 0; i < set->nPointCount && i < 15; ++i) {
        const ItiVvDatPoint& p = set->point[i];
        points.push_back({{"no", i + 1}, {"cmd_mode", static_cast<int>(p.nCmdMode)}, {"step_mode", static_cast<int>(p.nStepMode)},
                          {"stop_pos", number_json(p.dStopPos)}, {"speed", number_json(p.dSpeed)},
                          {"accel", number_json(p.dAccelTime)}, {"decel", number_json(p.dDecelTime)},
                          {"stop_timer", number_json(p.dStopTimer)}, {"m_code", static_cast<int>(p.nMCode)},
                          {"m_valid", static_cast<int>(p.nMValid)}, {"m_timing", static_cast<int>(p.nMTiming)},
                          {"changed", static_cast<int>(p.nChgFlag)}});
    }
    ctx.doc["points"] = points;
}

std::string family_hex(unsigned family) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", family & 0xFFu);
    return text;
}

void show(Ctx& ctx, ItiVvDatSet* set) {
    table_json(ctx, set);
    std::fprintf(ctx.out(), "%s\n",
                 ctx.t(Msg::VvHeader, {set->szAmpNo, std::to_string(set->nModel), family_hex(set->nFamily),
                                       std::to_string(set->wStopPosDp), std::to_string(set->wStopTimeDp + 2u)})
                     .c_str());
    const Msg cols[] = {Msg::ColNo, Msg::ColCmd, Msg::ColStep, Msg::ColStopPos, Msg::ColSpeed, Msg::ColAccel,
                        Msg::ColDecel, Msg::ColTimer, Msg::ColMCode, Msg::ColValid, Msg::ColTiming, Msg::ColChanged};
    const std::size_t widths[] = {3, 4, 4, 11, 8, 7, 7, 7, 5, 5, 6, 3};
    std::string head;
    for (std::size_t i = 0; i < 12; ++i) head += (i == 0 ? "" : " ") + core::pad_left(ctx.t(cols[i]), widths[i]);
    std::fprintf(ctx.out(), "%s\n", head.c_str());
    for (int no = 1; no <= set->nPointCount && no <= 15; ++no) {
        const ItiVvDatPoint& p = set->point[no - 1];
        std::fprintf(ctx.out(), "%3d %4d %4d %11.*f %8.2f %7.1f %7.1f %7.*f %5d %5d %6d %3d\n", no,
                     static_cast<int>(p.nCmdMode), static_cast<int>(p.nStepMode), static_cast<int>(set->wStopPosDp),
                     static_cast<double>(p.dStopPos), static_cast<double>(p.dSpeed), static_cast<double>(p.dAccelTime),
                     static_cast<double>(p.dDecelTime), static_cast<int>(set->wStopTimeDp) + 2,
                     static_cast<double>(p.dStopTimer), static_cast<int>(p.nMCode), static_cast<int>(p.nMValid),
                     static_cast<int>(p.nMTiming), static_cast<int>(p.nChgFlag));
    }
}

// The ten values of a point after NO, strictly parsed.
bool point_values(const std::vector<std::string>& v, core::PointValues& p) {
    return v.size() == 10 && core::parse_int(v[0], -99, 99, p.cmdMode) && core::parse_int(v[1], -99, 99, p.stepMode) &&
           core::parse_real(v[2], p.stopPos) && core::parse_real(v[3], p.speed) && core::parse_real(v[4], p.accel) &&
           core::parse_real(v[5], p.decel) && core::parse_real(v[6], p.stopTimer) &&
           core::parse_int(v[7], -9999, 9999, p.mCode) && core::parse_int(v[8], -99, 99, p.mValid) &&
           core::parse_int(v[9], -99, 99, p.mTiming);
}

// Every point of a table through the same check as an edit (for the writes
// that send all points, the initial write unchecked by the library).
int check_all_points(Ctx& ctx, ItiVvDatSet* set) {
    core::Outcome r = core::check_vv_points(set);
    return r.ok() ? 0 : fail(ctx, r);
}

int cmd_create(Ctx& ctx, const Opts& o) {
    const int model = core::model_number(o.model);
    if (model < 0) return usage(ctx, ctx.t(Msg::UnknownModel, {o.model}));
    auto set = std::make_unique<ItiVvDatSet>();
    if (const int code = srvTav_ItiVvDatFil_Create(model, set.get()); code != 0) return fail(ctx, ctx.t(Msg::StepCreate, {o.model}), code);
    return save(ctx, set.get(), o.file);
}

int cmd_show(Ctx& ctx, const Opts& o) {
    std::unique_ptr<ItiVvDatSet> set;
    if (int rc = load(ctx, o.file, set)) return rc;
    show(ctx, set.get());
    return 0;
}

int cmd_save(Ctx& ctx, const Opts& o) {
    std::unique_ptr<ItiVvDatSet> set;
    if (int rc = load(ctx, o.file, set)) return rc;
    return save(ctx, set.get(), o.out);
}

int cmd_csv(Ctx& ctx, const Opts& o) {
    std::unique_ptr<ItiVvDatSet> set;
    if (int rc = load(ctx, o.file, set)) return rc;
    if (const int code = srvTav_ItiVvDatCsvType_Wt(o.out.c_str(), set.get()); code != 0) return file_fail(ctx, Msg::StepCsv, o.out, code, true);
    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::Exported, {o.out}).c_str());
    return 0;
}

int cmd_edit(Ctx& ctx, const Opts& o, bool insert) {
    core::PointValues p;
    if (!point_values(o.values, p)) return usage(ctx, ctx.t(Msg::BadVvPointValues));
    std::unique_ptr<ItiVvDatSet> set;
    if (int rc = load(ctx, o.file, set)) return rc;
    if (core::Outcome r = core::change_vv_point(set.get(), to_int(o.no), p, insert); !r.ok()) return fail(ctx, r);
    return save(ctx, set.get(), o.file);
}

int cmd_change(Ctx& ctx, const Opts& o) { return cmd_edit(ctx, o, false); }
int cmd_insert(Ctx& ctx, const Opts& o) { return cmd_edit(ctx, o, true); }

int cmd_delete_or_reset(Ctx& ctx, const Opts& o, bool del) {
    std::unique_ptr<ItiVvDatSet> set;
    if (int rc = load(ctx, o.file, set)) return rc;
    const int no = to_int(o.no);
    const int code = del ? srvTav_ItiVvDat_Delete(set.get(), no) : srvTav_ItiVvDat_Init(set.get(), no);
    if (code != 0) return fail(ctx, ctx.t(Msg::StepPoint, {o.no}), code);
    return save(ctx, set.get(), o.file);
}

int cmd_delete(Ctx& ctx, const Opts& o) { return cmd_delete_or_reset(ctx, o, true); }
int cmd_reset(Ctx& ctx, const Opts& o) { return cmd_delete_or_reset(ctx, o, false); }

// A transfer to or from the target entry, selected for the call only.
int with_target(Ctx& ctx, const Opts& o, ItiVvDatSet* set, Msg step, const std::function<int(const core::Target&)>& op) {
    core::Target t;
    if (int rc = open_target(ctx, entry_of(o.entry), t)) return rc;
    TerminalBar bar;
    core::Outcome r = core::transfer_on(t, cancel_field(set), &bar, step, true, [&] { return op(t); });
    return r.ok() ? 0 : fail(ctx, r);
}

int cmd_read(Ctx& ctx, const Opts& o) {
    auto set = std::make_unique<ItiVvDatSet>();
    const int rc = with_target(ctx, o, set.get(), Msg::StepRead, [&](const core::Target& t) {
        return srvTav_ItiVvDat_ComRd(nullptr, std::to_string(t.entry).c_str(), set.get());
    });
    if (rc != 0) return rc;
    show(ctx, set.get());
    return save(ctx, set.get(), o.file);
}

int cmd_write(Ctx& ctx, const Opts& o) {
    std::unique_ptr<ItiVvDatSet> set;
    if (int rc = load(ctx, o.file, set)) return rc;
    if (int rc = check_all_points(ctx, set.get())) return rc;
    const int rc = with_target(ctx, o, set.get(), Msg::StepWrite, [&](const core::Target& t) {
        return srvTav_ItiVvDat_ComWt(nullptr, std::to_string(t.entry).c_str(), 1, set.get());
    });
    if (rc != 0) return rc;
    std::fprintf(ctx.out(), "%s: %s\n", ctx.t(Msg::StepWrite).c_str(), message(0).c_str());
    return 0;
}

int cmd_init(Ctx& ctx, const Opts& o) {
    std::unique_ptr<ItiVvDatSet> set;
    if (int rc = load(ctx, o.file, set)) return rc;
    // The initial write sends every point unchecked: checked here instead.
    if (int rc = check_all_points(ctx, set.get())) return rc;
    const int rc = with_target(ctx, o, set.get(), Msg::StepInitialWrite, [&](const core::Target& t) {
        // It addresses the station named in the set's amplifier number.
        std::snprintf(set->szAmpNo, sizeof set->szAmpNo, "%03d", t.station);
        return srvTav_ItiVvDat_InitWt(set.get());
    });
    if (rc != 0) return rc;
    std::fprintf(ctx.out(), "%s: %s\n", ctx.t(Msg::StepInitialWrite).c_str(), message(0).c_str());
    return 0;
}

int cmd_list(Ctx& ctx, const Opts& o) {
    std::unique_ptr<ItiVvDatSet> set;
    if (int rc = load(ctx, o.file, set)) return rc;
    Json lines = Json::array();
    for (int index = 1; index <= 12; ++index) {
        char line[2200] = "";
        int count = 0;
        if (srvTav_ItiVvDat_Ctl_Inf_Rd(set.get(), index, &count, line) == 0) lines.push_back(to_utf8(line));
    }
    auto print = std::make_unique<ItiVvDatPrintData>();
    const int code = srvTav_ItiVvDatPrint_mak(set.get(), print.get());
    if (code != 0) return fail(ctx, ctx.t(Msg::StepListing), code);
    lines.push_back("");
    for (const char* l : {print->szTitle, print->szColumnTitle1, print->szColumnTitle2}) lines.push_back(to_utf8(l));
    for (int i = 0; i < print->nLineCount && i < 15; ++i) lines.push_back(to_utf8(print->szPointLine[i]));
    for (const auto& l : lines) std::fprintf(ctx.out(), "%s\n", l.get<std::string>().c_str());
    ctx.doc["lines"] = lines;
    return 0;
}

using Named = NamedCommand<Opts>;

}  // namespace

void add_vv_commands(CLI::App& app, Ctx& ctx) {
    CLI::App* vv = app.add_subcommand("vv", ctx.t(Msg::HelpVv));
    vv->require_subcommand(1);
    auto o = std::make_shared<Opts>();
    auto add = [&ctx, vv, o](const char* name, Msg help, int (*fn)(Ctx&, const Opts&)) {
        return add_options_command(vv, ctx, o, Named{name, help, fn});
    };
    const char* fileHelp = "VV table (.k7v or .m7v)";
    const auto pointNo = int_in(1, 15, "point");
    CLI::App* sub = add("create", Msg::HelpVvCreate, cmd_create);
    sub->add_option("MODEL", o->model, "model name or number (VEL .. VEL_KB, 0..5)")->required();
    sub->add_option("FILE", o->file, fileHelp)->required();
    for (const char* name : {"show", "load"}) add(name, Msg::HelpVvShow, cmd_show)->add_option("FILE", o->file, fileHelp)->required();
    const Named copies[] = {{"save", Msg::HelpVvSave, cmd_save}, {"csv", Msg::HelpVvCsv, cmd_csv}};
    for (const Named& c : copies) {
        sub = add(c.name, c.help, c.fn);
        sub->add_option("FILE", o->file, fileHelp)->required();
        sub->add_option("OUT", o->out, "output file")->required();
    }
    const Named edits[] = {{"change", Msg::HelpVvChange, cmd_change}, {"insert", Msg::HelpVvInsert, cmd_insert}};
    for (const Named& e : edits) {
        sub = add(e.name, e.help, e.fn);
        sub->add_option("FILE", o->file, fileHelp)->required();
        sub->add_option("NO", o->no, "point number")->required()->check(pointNo);
        sub->add_option("VALUES", o->values, "CMD STEP POS SPEED ACCEL DECEL TIMER MCODE MVALID MTIMING")
            ->required()
            ->expected(10);
    }
    const Named points[] = {{"delete", Msg::HelpVvDelete, cmd_delete}, {"reset", Msg::HelpVvReset, cmd_reset}};
    for (const Named& p : points) {
        sub = add(p.name, p.help, p.fn);
        sub->add_option("FILE", o->file, fileHelp)->required();
        sub->add_option("NO", o->no, "point number")->required()->check(pointNo);
    }
    const Named transfers[] = {{"read", Msg::HelpVvRead, cmd_read}, {"write", Msg::HelpVvWrite, cmd_write},
                               {"init", Msg::HelpVvInit, cmd_init}};
    for (const Named& t : transfers) {
        sub = add(t.name, t.help, t.fn);
        sub->add_option("FILE", o->file, fileHelp)->required();
        add_entry_option(sub, o->entry);
    }
    add("list", Msg::HelpVvList, cmd_list)->add_option("FILE", o->file, fileHelp)->required();
}

}  // namespace tavhost
