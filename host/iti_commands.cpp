// `tav pos ...`: positioning tables of an L-type amplifier. A table lives in a
// ".k7l" file between commands; every command loads it, works on it and saves
// it again when it changed it. The transfers work on the selected entry of
// servo.con: the target entry is selected for the call only.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "host/cli.h"
#include "host/core/device.h"
#include "host/core/edits.h"
#include "host/core/loaded_file.h"
#include "host/core/numbers.h"
#include "wynapi/wynapi.h"

namespace tavhost {

namespace {

struct Opts {
    std::string file, out, model = "2", no, entry, text, posDp, timeDp;
    std::vector<std::string> values;
    bool all = false;
};

int load(Ctx& ctx, const std::string& file, ItiDatSet* set) {
    const int rc = srvTav_ItiDatFil_Rd(file.c_str(), set);
    if (rc != 0) return file_fail(ctx, Msg::StepLoad, file, rc);
    warn_if_short(ctx, file, core::table_header_lines(file, false), set->nPointCount, Msg::ShortFilePoints);
    return 0;
}

int save(Ctx& ctx, const std::string& file, ItiDatSet* set) {
    const int rc = srvTav_ItiDat_ComWt(file.c_str(), nullptr, 0, set);
    if (rc != 0) return file_fail(ctx, Msg::StepSave, file, rc, true);
    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::Saved, {file}).c_str());
    return 0;
}

void table_json(Ctx& ctx, ItiDatSet* set) {
    ctx.doc["file"] = to_utf8(set->szFileName);
    ctx.doc["amp"] = to_utf8(set->szAmpNo);
    ctx.doc["read_date"] = to_utf8(set->szReadDate);
    ctx.doc["model"] = static_cast<int>(set->nModel);
    ctx.doc["stop_pos_dp"] = static_cast<unsigned>(set->wStopPosDp);
    ctx.doc["stop_time_dp"] = static_cast<unsigned>(set->wStopTimeDp);
    ctx.doc["comment"] = to_utf8(set->szComment);
    Json points = Json::array();
    for (int i = 0; i < set->nPointCount && i < 99; ++i) {
        const ItiDatPoint& p = set->point[i];
        points.push_back({{"no", i + 1}, {"cmd_mode", static_cast<int>(p.nCmdMode)}, {"step_mode", static_cast<int>(p.nStepMode)},
                          {"stop_pos", number_json(p.dStopPos)}, {"speed", number_json(p.dSpeed)},
                          {"stop_timer", number_json(p.dStopTimer)}, {"m_code", static_cast<int>(p.nMCode)},
                          {"m_valid", static_cast<int>(p.nMValid)}, {"m_timing", static_cast<int>(p.nMTiming)},
                          {"changed", static_cast<int>(p.nChgFlag)}});
    }
    ctx.doc["points"] = points;
}

void show(Ctx& ctx, ItiDatSet* set) {
    table_json(ctx, set);
    char line[2200];
    int count = 0;
    for (int i : {1, 2, 3, 9, 10})
        if (srvTav_ItiDat_Ctl_Inf_Rd(set, i, &count, line) == 0) std::fprintf(ctx.out(), "%s\n", to_utf8(line).c_str());
    auto rec = std::make_unique<ItiDatPrintData>();
    srvTav_ItiDatPrint_mak(set, rec.get());
    std::fprintf(ctx.out(), "%s\n%s\n", to_utf8(rec->szColumnTitle1).c_str(), to_utf8(rec->szColumnTitle2).c_str());
    for (int i = 0; i < rec->nLineCount && i < 99; ++i)
        std::fprintf(ctx.out(), "%s%s\n", to_utf8(rec->szPointLine[i]).c_str(), set->point[i].nChgFlag ? "  *" : "");
}

// The transfer of a table to or from the target entry, selected for the call.
int transfer_table(Ctx& ctx, const Opts& o, ItiDatSet* set, bool write) {
    core::Target t;
    if (int rc = open_target(ctx, entry_of(o.entry), t)) return rc;
    TerminalBar bar;
    const core::Outcome r = write ? core::write_pos(set, t, o.all, &bar) : core::read_pos(set, t, &bar);
    if (!r.ok()) {
        for (int i = 0; i < 99; ++i)
            if (set->point[i].nStatus != 0)
                std::fprintf(stderr, "%s\n", ctx.t(Msg::PointResult, {std::to_string(i + 1), std::to_string(set->point[i].nStatus),
                                                                       message(set->point[i].nStatus)}).c_str());
        return fail(ctx, r);
    }
    return 0;
}

// The eight values of a point after NO, strictly parsed.
bool point_values(const std::vector<std::string>& v, core::PointValues& p) {
    return v.size() == 8 && core::parse_int(v[0], -99, 99, p.cmdMode) && core::parse_int(v[1], -99, 99, p.stepMode) &&
           core::parse_real(v[2], p.stopPos) && core::parse_real(v[3], p.speed) && core::parse_real(v[4], p.stopTimer) &&
           core::parse_int(v[5], -9999, 9999, p.mCode) && core::parse_int(v[6], -99, 99, p.mValid) &&
           core::parse_int(v[7], -99, 99, p.mTiming);
}

int cmd_create(Ctx& ctx, const Opts& o) {
    const int model = core::model_number(o.model);
    if (model < 0) return usage(ctx, ctx.t(Msg::UnknownModel, {o.model}));
    auto set = std::make_unique<ItiDatSet>();
    if (const int rc = srvTav_ItiDatFil_Create(model, set.get()); rc != 0) return fail(ctx, ctx.t(Msg::StepCreate, {o.model}), rc);
    return save(ctx, o.file, set.get());
}

int cmd_show(Ctx& ctx, const Opts& o) {
    auto set = std::make_unique<ItiDatSet>();
    if (int rc = load(ctx, o.file, set.get())) return rc;
    show(ctx, set.get());
    return 0;
}

int cmd_edit(Ctx& ctx, const Opts& o, bool insert) {
    core::PointValues p;
    if (!point_values(o.values, p)) return usage(ctx, ctx.t(Msg::BadPointValues));
    auto set = std::make_unique<ItiDatSet>();
    if (int rc = load(ctx, o.file, set.get())) return rc;
    if (core::Outcome r = core::change_point(set.get(), to_int(o.no), p, insert); !r.ok()) return fail(ctx, r);
    return save(ctx, o.file, set.get());
}

int cmd_set(Ctx& ctx, const Opts& o) { return cmd_edit(ctx, o, false); }
int cmd_insert(Ctx& ctx, const Opts& o) { return cmd_edit(ctx, o, true); }

int cmd_reset(Ctx& ctx, const Opts& o) {
    auto set = std::make_unique<ItiDatSet>();
    if (int rc = load(ctx, o.file, set.get())) return rc;
    if (const int rc = srvTav_ItiDat_Init(set.get(), to_int(o.no)); rc != 0) return fail(ctx, ctx.t(Msg::StepPoint, {o.no}), rc);
    return save(ctx, o.file, set.get());
}

int cmd_dp(Ctx& ctx, const Opts& o) {
    auto set = std::make_unique<ItiDatSet>();
    if (int rc = load(ctx, o.file, set.get())) return rc;
    int rc = srvTav_ItiAtt_Chg(set.get(), static_cast<unsigned short>(to_int(o.posDp)));
    if (rc == 0) rc = srvTav_ItiAtt_Chg2(set.get(), static_cast<unsigned short>(to_int(o.timeDp)));
    if (rc != 0) return fail(ctx, ctx.t(Msg::StepDecimals), rc);
    return save(ctx, o.file, set.get());
}

int cmd_comment(Ctx& ctx, const Opts& o) {
    auto set = std::make_unique<ItiDatSet>();
    if (int rc = load(ctx, o.file, set.get())) return rc;
    if (const int rc = srvTav_ItiDat_FileCmt_Wt(set.get(), o.text.c_str()); rc != 0) return fail(ctx, ctx.t(Msg::StepComment), rc);
    return save(ctx, o.file, set.get());
}

int cmd_read(Ctx& ctx, const Opts& o) {
    auto set = std::make_unique<ItiDatSet>();
    if (int rc = transfer_table(ctx, o, set.get(), false)) return rc;
    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::ReadAt, {set->szAmpNo, to_utf8(set->szReadDate)}).c_str());
    if (int rc = save(ctx, o.file, set.get())) return rc;
    table_json(ctx, set.get());
    return 0;
}

int cmd_write(Ctx& ctx, const Opts& o) {
    auto set = std::make_unique<ItiDatSet>();
    if (int rc = load(ctx, o.file, set.get())) return rc;
    // Change flags do not survive a file: --all resends a loaded table.
    if (int rc = transfer_table(ctx, o, set.get(), true)) return rc;
    std::fprintf(ctx.out(), "%s: %s\n", ctx.t(Msg::StepWrite).c_str(), message(0).c_str());
    return 0;
}

int cmd_point(Ctx& ctx, const Opts& o) {
    core::Target t;
    if (int rc = open_target(ctx, entry_of(o.entry), t)) return rc;
    int rc = srvTav_Wyn_Net_Open();
    if (rc != 0) return fail(ctx, ctx.t(Msg::StepLineOpen, {core::line_device()}), rc);
    ItiNoDatInfo info{};
    rc = srvTav_ItiNoDat_Rd(t.station, to_int(o.no), &info);
    Wyn_Net_Close();
    if (rc != 0) return fail(ctx, ctx.t(Msg::StepPoint, {o.no}), rc);
    ctx.doc["no"] = (info.byDataNo >> 4) * 10 + (info.byDataNo & 0x0F);
    ctx.doc["cmd_mode"] = static_cast<int>(info.nCmdMode);
    ctx.doc["step_mode"] = static_cast<int>(info.nStepMode);
    ctx.doc["stop_pos"] = number_json(info.dStopPos);
    ctx.doc["speed"] = number_json(info.dSpeed);
    ctx.doc["stop_timer"] = number_json(info.dStopTimer);
    ctx.doc["m_code"] = static_cast<int>(info.nMCode);
    std::fprintf(ctx.out(), "%s %s %s %s %s %s %s\n", info.szDataNo, to_utf8(info.szCmdMode).c_str(),
                 to_utf8(info.szStepMode).c_str(), info.szStopPos, info.szSpeed, info.szStopTimer, info.szMCode);
    return 0;
}

int cmd_export(Ctx& ctx, const Opts& o) {
    auto set = std::make_unique<ItiDatSet>();
    if (int rc = load(ctx, o.file, set.get())) return rc;
    if (const int rc = srvTav_ItiDatCsvType_Wt(o.out.c_str(), set.get()); rc != 0) return file_fail(ctx, Msg::StepCsv, o.out, rc, true);
    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::Exported, {o.out}).c_str());
    return 0;
}

using Named = NamedCommand<Opts>;

}  // namespace

void add_pos_commands(CLI::App& app, Ctx& ctx) {
    CLI::App* pos = app.add_subcommand("pos", ctx.t(Msg::HelpPos));
    pos->require_subcommand(1);
    auto o = std::make_shared<Opts>();
    auto add = [&ctx, pos, o](const char* name, Msg help, int (*fn)(Ctx&, const Opts&)) {
        CLI::App* sub = add_options_command(pos, ctx, o, Named{name, help, fn});
        sub->add_option("FILE", o->file, "positioning table (.k7l)")->required();
        return sub;
    };
    const auto pointNo = int_in(1, 99, "point");
    add("create", Msg::HelpPosCreate, cmd_create)->add_option("MODEL", o->model, "model name or number (default 2, LIN)");
    add("show", Msg::HelpPosShow, cmd_show);
    const Named edits[] = {{"set", Msg::HelpPosSet, cmd_set}, {"insert", Msg::HelpPosInsert, cmd_insert}};
    for (const Named& e : edits) {
        CLI::App* sub = add(e.name, e.help, e.fn);
        sub->add_option("NO", o->no, "point number")->required()->check(pointNo);
        sub->add_option("VALUES", o->values, "CMD STEP POS SPEED TIMER MCODE MVALID MTIMING")->required()->expected(8);
    }
    add("reset", Msg::HelpPosReset, cmd_reset)->add_option("NO", o->no, "point number")->required()->check(pointNo);
    CLI::App* dp = add("dp", Msg::HelpPosDp, cmd_dp);
    dp->add_option("POSDP", o->posDp, "stop-position decimal places 0..5")->required()->check(int_in(0, 5, "POSDP"));
    dp->add_option("TIMEDP", o->timeDp, "stop-timer decimal code 0..1")->required()->check(int_in(0, 1, "TIMEDP"));
    add("comment", Msg::HelpPosComment, cmd_comment)->add_option("TEXT", o->text, "the comment")->required();
    add_entry_option(add("read", Msg::HelpPosRead, cmd_read), o->entry);
    CLI::App* write = add("write", Msg::HelpPosWrite, cmd_write);
    write->add_flag("--all", o->all, "send every point, not only the changed ones");
    add_entry_option(write, o->entry);
    CLI::App* export_ = add("export", Msg::HelpPosExport, cmd_export);
    export_->add_option("OUT", o->out, "CSV file")->required();

    // `pos point NO`: one point read live; it has no FILE.
    CLI::App* point = pos->add_subcommand("point", ctx.t(Msg::HelpPosPoint));
    point->add_option("NO", o->no, "point number")->required()->check(pointNo);
    add_entry_option(point, o->entry);
    point->callback([&ctx, o] { ctx.run = [&ctx, o] { return cmd_point(ctx, *o); }; });
}

}  // namespace tavhost
