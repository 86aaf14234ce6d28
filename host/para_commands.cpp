// `tav para ...`: the servo operator's standard parameters. Every command
// works on a parameter file; a set lives only as long as the command. The
// page follows the extension: .k7p parameters, .syp system, .hsp hidden.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "host/cli.h"
#include "host/core/data_sets.h"
#include "host/core/definitions.h"
#include "host/core/device.h"
#include "host/core/edits.h"
#include "host/core/loaded_file.h"
#include "host/core/numbers.h"

namespace tavhost {

namespace {


Json record_json(ParaSet* set, int no) {
    ParaRecord r;
    srvTav_Para_Dat_Rd(set, no, &r);
    return {{"no", no},          {"name", to_utf8(r.szName)},   {"value", number_json(r.dValue)},
            {"initial", number_json(r.dInitial)}, {"min", number_json(r.dMin)}, {"max", number_json(r.dMax)},
            {"attribute", static_cast<unsigned>(r.wAttr)}, {"changed", r.nChgFlag != 0}, {"result", static_cast<int>(r.nResult)}};
}

void show_one(Ctx& ctx, ParaSet* set, int no) {
    ParaRecord r;
    if (srvTav_Para_Dat_Rd(set, no, &r) != 0) return;
    char value[64] = "";
    srvTav_Double_to_Char(r.dValue, r.wAttr, 10, value);
    std::fprintf(ctx.out(), "%3d  %s %14s  [%s .. %s] %s %s%s\n", no, core::pad_right(to_utf8(r.szName), 40).c_str(),
                 value, core::real_text(r.dMin).c_str(), core::real_text(r.dMax).c_str(), ctx.t(Msg::LabelInitial).c_str(),
                 core::real_text(r.dInitial).c_str(), r.nChgFlag ? ("  " + ctx.t(Msg::Changed)).c_str() : "");
    if (r.nResult != 0) std::fprintf(ctx.out(), "     (%d %s)\n", static_cast<int>(r.nResult), message(r.nResult).c_str());
    if (r.szItemComment[0] != '\0') std::fprintf(ctx.out(), "     %s\n", to_utf8(r.szItemComment).c_str());
}

void set_json(Ctx& ctx, ParaSet* set, int only) {
    ctx.doc["file"] = to_utf8(set->szFileName);
    ctx.doc["kind"] = static_cast<int>(set->nKind);
    ctx.doc["amp"] = to_utf8(set->szAmpNo);
    ctx.doc["read_date"] = to_utf8(set->szReadDate);
    Json list = Json::array();
    for (int no = 1; no <= set->nParaCount; ++no) {
        ParaRecord r;
        if ((only != 0 && no != only) || srvTav_Para_Dat_Rd(set, no, &r) != 0) continue;
        list.push_back(record_json(set, no));
    }
    ctx.doc["parameters"] = list;
}

int load(Ctx& ctx, const std::string& file, std::unique_ptr<ParaSet>& set) {
    set = std::make_unique<ParaSet>();
    const int code = srvTav_Para_ComRd(file.c_str(), nullptr, core::page_of_file(file), set.get());
    if (code != 0) return file_fail(ctx, Msg::StepLoad, file, code);
    warn_if_short(ctx, file, 2, std::min(int{set->nParaCount}, 99), Msg::ShortFileParameters);
    return 0;
}

int save(Ctx& ctx, ParaSet* set, const std::string& file) {
    const int code = srvTav_Para_ComWt(file.c_str(), nullptr, 0, 0, set);
    if (code != 0) return file_fail(ctx, Msg::StepSave, file, code, true);
    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::Saved, {file}).c_str());
    return 0;
}

// NO=VALUE changes, each checked before anything is stored.
int apply_changes(Ctx& ctx, ParaSet* set, const std::vector<std::string>& changes) {
    for (const std::string& c : changes) {
        const std::size_t eq = c.find('=');
        int no = 0;
        double value = 0;
        if (eq == std::string::npos || !core::parse_int(c.substr(0, eq), 1, 99, no) ||
            !core::parse_real(c.substr(eq + 1), value))
            return usage(ctx, ctx.t(Msg::BadChange, {c}));
        if (core::Outcome r = core::change_para(set, no, value); !r.ok()) return fail(ctx, r);
    }
    return 0;
}

struct Opts {
    std::string model, file, out, no, entry;
    std::vector<std::string> items;
    bool all = false;
};

int cmd_new(Ctx& ctx, const Opts& o) {
    const int model = core::model_number(o.model);
    if (model < 0) return usage(ctx, ctx.t(Msg::UnknownModel, {o.model}));
    auto set = std::make_unique<ParaSet>();
    const int code = srvTav_Para_Create(model, core::page_of_file(o.file), set.get());
    if (code != 0) return fail(ctx, ctx.t(Msg::StepCreate, {o.model}), code);
    srvTav_Para_FileName_Chg(set.get(), o.file.c_str());
    return save(ctx, set.get(), o.file);
}

int cmd_show(Ctx& ctx, const Opts& o) {
    std::unique_ptr<ParaSet> set;
    if (int rc = load(ctx, o.file, set)) return rc;
    const int only = o.no.empty() ? 0 : to_int(o.no);
    if (only != 0) {
        ParaRecord r;
        if (const int code = srvTav_Para_Dat_Rd(set.get(), only, &r); code != 0)
            return fail(ctx, ctx.t(Msg::StepParameter, {o.no}), code);
    }
    set_json(ctx, set.get(), only);
    for (int no = 1; no <= set->nParaCount; ++no)
        if (only == 0 || no == only) show_one(ctx, set.get(), no);
    return 0;
}

int cmd_set(Ctx& ctx, const Opts& o) {
    std::unique_ptr<ParaSet> set;
    if (int rc = load(ctx, o.file, set)) return rc;
    if (int rc = apply_changes(ctx, set.get(), o.items)) return rc;
    return save(ctx, set.get(), o.file);
}

int cmd_reset(Ctx& ctx, const Opts& o) {
    std::unique_ptr<ParaSet> set;
    if (int rc = load(ctx, o.file, set)) return rc;
    for (const std::string& n : o.items) {
        int no = 0;
        if (!core::parse_int(n, 1, 99, no)) return usage(ctx, ctx.t(Msg::BadParameterNumber, {n}));
        if (const int code = srvTav_Para_Dat_Init(set.get(), no); code != 0) return fail(ctx, ctx.t(Msg::StepParameter, {n}), code);
    }
    return save(ctx, set.get(), o.file);
}

int cmd_read(Ctx& ctx, const Opts& o) {
    core::Target t;
    if (core::Outcome r = core::open_operator_target(entry_of(o.entry), t); !r.ok()) return fail(ctx, r);
    show_target(ctx, t);
    auto set = std::make_unique<ParaSet>();
    TerminalBar bar;
    if (core::Outcome r = core::read_para(set.get(), t, core::page_of_file(o.file), &bar); !r.ok()) return fail(ctx, r);
    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::ReadAt, {set->szAmpNo, to_utf8(set->szReadDate)}).c_str());
    srvTav_Para_FileName_Chg(set.get(), o.file.c_str());
    if (int rc = save(ctx, set.get(), o.file)) return rc;
    set_json(ctx, set.get(), 0);
    return 0;
}

int cmd_write(Ctx& ctx, const Opts& o) {
    std::unique_ptr<ParaSet> set;
    if (int rc = load(ctx, o.file, set)) return rc;
    if (int rc = apply_changes(ctx, set.get(), o.items)) return rc;
    if (core::Outcome r = core::check_para_before_write(set.get(), o.all); !r.ok()) return fail(ctx, r);
    core::Target t;
    if (core::Outcome r = core::open_operator_target(entry_of(o.entry), t); !r.ok()) return fail(ctx, r);
    show_target(ctx, t);
    TerminalBar bar;
    if (core::Outcome r = core::write_para(set.get(), t, o.all, &bar); !r.ok()) return fail(ctx, r);
    std::fprintf(ctx.out(), "%s: %s\n", ctx.t(Msg::StepWrite).c_str(), message(0).c_str());
    return save(ctx, set.get(), o.file);
}

int cmd_print(Ctx& ctx, const Opts& o) {
    std::unique_ptr<ParaSet> set;
    if (int rc = load(ctx, o.file, set)) return rc;
    auto page = std::make_unique<ParaPrint>();
    if (const int code = srvTav_ParaPrint_Mak(set.get(), page.get()); code != 0) return fail(ctx, ctx.t(Msg::StepListing), code);
    Json lines = Json::array();
    char line[TAV_PARA_INFO_SIZE];
    for (int item : {1, 2, 3, 4, 8, 9, 12}) {
        line[0] = '\0';
        srvTav_Para_Ctl_Inf_Rd(set.get(), item, line);
        lines.push_back(to_utf8(line));
    }
    lines.push_back(to_utf8(page->szPrintComment));
    lines.push_back(to_utf8(page->szPrintHead));
    for (int i = 0; i < page->nPrintLines; ++i) lines.push_back(to_utf8(page->szPrintLine[i]));
    for (const auto& l : lines) std::fprintf(ctx.out(), "%s\n", l.get<std::string>().c_str());
    ctx.doc["lines"] = lines;
    return 0;
}

int cmd_csv(Ctx& ctx, const Opts& o) {
    std::unique_ptr<ParaSet> set;
    if (int rc = load(ctx, o.file, set)) return rc;
    if (const int code = srvTav_ParaCsvType_Wt(o.out.c_str(), set.get()); code != 0)
        return file_fail(ctx, Msg::StepCsv, o.out, code, true);
    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::Exported, {o.out}).c_str());
    return 0;
}

}  // namespace

void add_para_commands(CLI::App& app, Ctx& ctx) {
    CLI::App* para = app.add_subcommand("para", ctx.t(Msg::HelpPara));
    para->require_subcommand(1);
    auto o = std::make_shared<Opts>();
    auto add = [&ctx, para, o](const char* name, Msg help, int (*fn)(Ctx&, const Opts&)) {
        CLI::App* sub = para->add_subcommand(name, ctx.t(help));
        sub->callback([&ctx, o, fn] {
            ctx.run = [&ctx, o, fn] {
                const core::OperatorDefinitions definitions;
                if (!definitions.ok()) return fail(ctx, definitions.outcome());
                return fn(ctx, *o);
            };
        });
        return sub;
    };
    const char* fileHelp = "parameter file (.k7p, .syp or .hsp)";
    CLI::App* sub = add("new", Msg::HelpParaNew, cmd_new);
    sub->add_option("MODEL", o->model, "VEL, ROR, LIN, ETC, LIN_KB, VEL_KB or 0..5")->required();
    sub->add_option("FILE", o->file, fileHelp)->required();
    sub = add("show", Msg::HelpParaShow, cmd_show);
    sub->add_option("FILE", o->file, fileHelp)->required();
    sub->add_option("NO", o->no, "parameter number")->check(int_in(1, 99, "parameter number"));
    sub = add("set", Msg::HelpParaSet, cmd_set);
    sub->add_option("FILE", o->file, fileHelp)->required();
    sub->add_option("NO=VALUE", o->items, "changes")->required();
    sub = add("reset", Msg::HelpParaReset, cmd_reset);
    sub->add_option("FILE", o->file, fileHelp)->required();
    sub->add_option("NO", o->items, "parameter numbers")->required();
    sub = add("read", Msg::HelpParaRead, cmd_read);
    sub->add_option("FILE", o->file, fileHelp)->required();
    add_entry_option(sub, o->entry);
    sub = add("write", Msg::HelpParaWrite, cmd_write);
    sub->add_option("FILE", o->file, fileHelp)->required();
    sub->add_option("NO=VALUE", o->items, "changes before the write");
    sub->add_flag("--all", o->all, "send every value, not only the changed ones");
    add_entry_option(sub, o->entry);
    sub = add("print", Msg::HelpParaPrint, cmd_print);
    sub->add_option("FILE", o->file, fileHelp)->required();
    sub = add("csv", Msg::HelpParaCsv, cmd_csv);
    sub->add_option("FILE", o->file, fileHelp)->required();
    sub->add_option("OUT", o->out, "CSV file")->required();
}

}  // namespace tavhost
