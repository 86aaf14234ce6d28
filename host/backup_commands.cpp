// `tav backup`, `tav restore` and `tav diff`: the whole-line commands. The
// work is the host core's (host/core/backup.h, data_sets.h); this file parses,
// calls and prints.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "host/cli.h"
#include "host/core/backup.h"
#include "host/core/data_sets.h"

namespace tavhost {

namespace {

// One overall bar on stderr, only on a terminal, with the file in work.
core::Progress terminal_progress() {
    core::Progress p;
    if (::isatty(STDERR_FILENO) == 0) return p;
    auto last = std::make_shared<unsigned>(101);
    p.report = [last](unsigned percent, const std::string& file) {
        if (percent == *last && percent != 100) return;
        *last = percent;
        std::fprintf(stderr, "\r[%-40s] %3u%% %-32.32s", std::string(percent * 40 / 100, '#').c_str(), percent, file.c_str());
        if (percent >= 100) std::fputc('\n', stderr);
        std::fflush(stderr);
    };
    return p;
}

// Ends a bar left half drawn by a failure.
void end_bar() {
    if (::isatty(STDERR_FILENO) != 0) std::fputc('\n', stderr);
}

std::string device_words(const Ctx& ctx, const core::BackupDevice& d) {
    if (d.family == 0x50) return ctx.t(Msg::ServoOperator);
    return core::family_name(d.family) + (d.type == "L" || d.type == "V" ? " (" + d.type + ")" : "");
}

std::string entry_text(int entry) { return entry == 0 ? "-" : std::to_string(entry); }

void print_devices(Ctx& ctx, const std::vector<core::BackupDevice>& devices) {
    for (const core::BackupDevice& d : devices) {
        std::string line = ctx.t(Msg::TargetLine, {entry_text(d.entry), std::to_string(d.station), device_words(ctx, d), d.model});
        while (!line.empty() && line.back() == ' ') line.pop_back();
        std::fprintf(ctx.out(), "%s\n", line.c_str());
    }
}

// ---- backup
struct BackupOpts {
    std::string dir, entry;
};

int cmd_backup(Ctx& ctx, const BackupOpts& o, const std::string& tool) {
    core::Manifest m;
    const core::Outcome r = core::backup_line({o.dir, entry_of(o.entry), tool}, terminal_progress(), m);
    print_devices(ctx, m.devices);
    for (const core::BackupFile& f : m.files)
        std::fprintf(ctx.out(), "  %-28s %-11s %s\n", f.file.c_str(), core::kind_word(f.kind), f.readDate.c_str());
    ctx.doc = Json::parse(core::manifest_json(m));
    if (!r.ok()) {
        end_bar();
        std::fprintf(stderr, "%s\n", ctx.t(Msg::BackupNotDone, {std::to_string(m.files.size()), o.dir}).c_str());
        return fail(ctx, r);
    }
    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::BackupDone, {std::to_string(m.files.size()), o.dir}).c_str());
    return 0;
}

// ---- restore
struct RestoreOpts {
    std::string dir, entry;
    bool dryRun = false;
};

void print_mismatches(Ctx& ctx, const std::vector<core::Mismatch>& list) {
    std::fprintf(ctx.out(), "%-6s %-8s %-8s %-24s %s\n", ctx.t(Msg::ColEntry).c_str(), ctx.t(Msg::ColStationShort).c_str(),
                 ctx.t(Msg::ColWhat).c_str(), ctx.t(Msg::ColBackup).c_str(), ctx.t(Msg::ColLine).c_str());
    Json rows = Json::array();
    for (const core::Mismatch& x : list) {
        std::fprintf(ctx.out(), "%-6s %-8d %-8s %-24s %s\n", entry_text(x.entry).c_str(), x.station, x.field.c_str(),
                     x.backup.c_str(), x.line.c_str());
        rows.push_back({{"entry", x.entry}, {"station", x.station}, {"field", x.field}, {"backup", x.backup}, {"line", x.line}});
    }
    ctx.doc["mismatches"] = rows;
}

// A parameter's name, or "point N" for a point (points have no names).
std::string item_name(const Ctx& ctx, const core::Difference& d) {
    return d.name.empty() ? ctx.t(Msg::ColPoint) + " " + std::to_string(d.no) : d.name;
}

void print_plan(Ctx& ctx, const core::SetReport& s) {
    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::PlanHeading, {s.file.file, entry_text(s.file.entry), std::to_string(s.file.station),
                                                             std::to_string(s.plan.size())}).c_str());
    for (const core::Difference& d : s.plan)
        std::fprintf(ctx.out(), "  %4d %s %s -> %s %s\n", d.no, core::pad_right(item_name(ctx, d), 30).c_str(), d.a.c_str(),
                     d.b.c_str(), d.unit.c_str());
}

Json plan_json(const std::vector<core::Difference>& plan) {
    Json rows = Json::array();
    for (const core::Difference& d : plan)
        rows.push_back({{"no", d.no}, {"name", d.name}, {"device", d.a}, {"backup", d.b}, {"unit", d.unit}});
    return rows;
}

void print_results(Ctx& ctx, const std::vector<core::SetReport>& sets) {
    std::fprintf(ctx.out(), "%-28s %-6s %-8s %7s %8s %9s %8s  %s\n", ctx.t(Msg::ColFile).c_str(), ctx.t(Msg::ColEntry).c_str(),
                 ctx.t(Msg::ColStationShort).c_str(), ctx.t(Msg::ColDiffer).c_str(), ctx.t(Msg::ColWritten).c_str(),
                 ctx.t(Msg::ColVerified).c_str(), ctx.t(Msg::ColRefused).c_str(), ctx.t(Msg::ColResult).c_str());
    for (const core::SetReport& s : sets) {
        const std::string result = s.outcome.ok() ? message(0) : std::to_string(s.outcome.code) + " " + message(s.outcome.code);
        std::fprintf(ctx.out(), "%-28s %-6s %-8d %7zu %8d %9d %8d  %s\n", s.file.file.c_str(), entry_text(s.file.entry).c_str(),
                     s.file.station, s.plan.size(), s.written, s.verified, s.refused, result.c_str());
    }
    for (const core::SetReport& s : sets) {
        if (s.notVerified.empty()) continue;
        std::string nos;
        for (int no : s.notVerified) nos += (nos.empty() ? "" : " ") + std::to_string(no);
        std::fprintf(stderr, "%s\n", ctx.t(Msg::NotWrittenItems, {s.file.file, nos}).c_str());
    }
}

int cmd_restore(Ctx& ctx, const RestoreOpts& o) {
    core::RestoreReport rep;
    const core::Outcome r = core::restore_line({o.dir, entry_of(o.entry), o.dryRun}, terminal_progress(), rep);
    if (!rep.mismatches.empty()) print_mismatches(ctx, rep.mismatches);
    Json sets = Json::array();
    for (const core::SetReport& s : rep.sets) {
        if (o.dryRun) print_plan(ctx, s);
        Json j = {{"file", s.file.file}, {"entry", s.file.entry}, {"station", s.file.station}, {"differ", s.plan.size()},
                  {"written", s.written}, {"verified", s.verified}, {"refused", s.refused}, {"result", s.outcome.code},
                  {"not_verified", s.notVerified}, {"plan", plan_json(s.plan)}};
        if (!s.outcome.ok()) j["message"] = describe(ctx, s.outcome);
        sets.push_back(j);
    }
    ctx.doc["dry_run"] = o.dryRun;
    ctx.doc["sets"] = sets;
    if (!rep.sets.empty()) print_results(ctx, rep.sets);
    if (!r.ok()) {
        end_bar();
        return fail(ctx, r);
    }
    if (o.dryRun) std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::DryRunDone).c_str());
    return 0;
}

// ---- diff
struct DiffOpts {
    std::string a, b, entry;
};

int load_file(Ctx& ctx, const std::string& path, core::DataSet& set) {
    core::SetKind kind;
    int page = 0;
    if (!core::kind_of_file(path, kind, page)) return fail(ctx, ctx.t(Msg::NotASetFile, {path}), TAV_E_FILE_NAME);
    set = core::make_set(kind, page);
    const int code = core::load_set(path, set);
    return code == 0 ? 0 : file_fail(ctx, Msg::StepLoad, path, code);
}

// The set of A's kind as the device of --entry (or the selected one) holds it.
int read_device(Ctx& ctx, const std::string& entry, core::DataSet& set) {
    core::Target t;
    const core::Outcome found = set.kind == core::SetKind::Standard ? core::open_operator_target(entry_of(entry), t)
                                                                     : core::open_target(entry_of(entry), t);
    if (!found.ok()) return fail(ctx, found);
    show_target(ctx, t);
    core::SelectionGuard selection;
    if (set.kind == core::SetKind::Positioning || set.kind == core::SetKind::Vv)
        if (core::Outcome r = selection.select(t); !r.ok()) return fail(ctx, r);
    const int code = transfer(ctx, set.cancel(), [&] { return core::read_from_device(set, std::to_string(t.entry)); });
    if (core::Outcome r = selection.restore(); !r.ok()) return fail(ctx, r);
    return code == 0 ? 0 : fail(ctx, ctx.t(Msg::StepRead), code);
}

int cmd_diff(Ctx& ctx, const DiffOpts& o) {
    // Trouble exits 2, as diff's does: 1 means "they differ".
    auto trouble = [](int rc) { return rc == 130 ? rc : 2; };
    core::DataSet a, b;
    if (int rc = load_file(ctx, o.a, a)) return trouble(rc);
    const std::string bName = o.b.empty() ? "device" : o.b;
    if (!o.b.empty()) {
        if (int rc = load_file(ctx, o.b, b)) return trouble(rc);
        if (a.kind != b.kind || a.page != b.page) return trouble(fail(ctx, ctx.t(Msg::DiffKinds, {o.a, o.b}), TAV_E_FILE_NAME));
    } else {
        b = core::make_set(a.kind, a.page);
        if (int rc = read_device(ctx, o.entry, b)) return trouble(rc);
    }
    const std::vector<core::Difference> rows = core::differences(a, b);
    Json list = Json::array();
    if (!rows.empty())
        std::fprintf(ctx.out(), "%4s  %s %s %s %s\n", ctx.t(Msg::ColNo).c_str(), core::pad_right(ctx.t(Msg::ColName), 30).c_str(),
                     core::pad_left("A", 16).c_str(), core::pad_left("B", 16).c_str(), ctx.t(Msg::ColUnit).c_str());
    for (const core::Difference& d : rows) {
        if (d.name.empty())  // a point: its fields on a line of their own for each side
            std::fprintf(ctx.out(), "%4d  %s\n        A: %s\n        B: %s\n", d.no, item_name(ctx, d).c_str(), d.a.c_str(), d.b.c_str());
        else
            std::fprintf(ctx.out(), "%4d  %s %s %s %s\n", d.no, core::pad_right(d.name, 30).c_str(), core::pad_left(d.a, 16).c_str(),
                         core::pad_left(d.b, 16).c_str(), d.unit.c_str());
        list.push_back({{"no", d.no}, {"name", d.name}, {"a", d.a}, {"b", d.b}, {"unit", d.unit}});
    }
    ctx.doc["a"] = o.a;
    ctx.doc["b"] = bName;
    ctx.doc["set"] = core::kind_word(a.kind);
    ctx.doc["differences"] = list;
    return rows.empty() ? 0 : 1;
}

}  // namespace

void add_backup_commands(CLI::App& app, Ctx& ctx, const std::string& tool) {
    auto bo = std::make_shared<BackupOpts>();
    CLI::App* backup = app.add_subcommand("backup", ctx.t(Msg::HelpBackup));
    backup->add_option("DIR", bo->dir, "backup folder (made when missing)")->required();
    add_entry_option(backup, bo->entry)->description("only this station-list entry");
    backup->callback([&ctx, bo, tool] { ctx.run = [&ctx, bo, tool] { return cmd_backup(ctx, *bo, tool); }; });

    auto ro = std::make_shared<RestoreOpts>();
    CLI::App* restore = app.add_subcommand("restore", ctx.t(Msg::HelpRestore));
    restore->add_option("DIR", ro->dir, "backup folder")->required();
    add_entry_option(restore, ro->entry)->description("only this station-list entry");
    restore->add_flag("--dry-run", ro->dryRun, "read the devices and print what would be written, write nothing");
    restore->callback([&ctx, ro] { ctx.run = [&ctx, ro] { return cmd_restore(ctx, *ro); }; });

    auto dop = std::make_shared<DiffOpts>();
    CLI::App* diff = app.add_subcommand("diff", ctx.t(Msg::HelpDiff));
    diff->add_option("A", dop->a, "set file (.k7p, .m7p, .syp, .hsp, .k7l, .k7v, .m7v)")->required();
    diff->add_option("B", dop->b, "set file of the same kind (default: the device)");
    add_entry_option(diff, dop->entry);
    diff->callback([&ctx, dop] { ctx.run = [&ctx, dop] { return cmd_diff(ctx, *dop); }; });
}

}  // namespace tavhost
