// `tav export` and `tav import`: set files as UTF-8 tables (JSON or CSV) and
// back. The work is the host core's (host/core/table_export.h).
#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "Tav_acs.h"
#include "host/cli.h"
#include "host/core/data_sets.h"
#include "host/core/saved_file.h"
#include "host/core/table_export.h"

namespace tavhost {

namespace {

struct TableOpts {
    std::string file, format, out, table;
};

bool ends_with(const std::string& text, const char* ext) {
    const std::size_t n = std::strlen(ext);
    return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, ext) == 0;
}

// --format, else the table's extension (.csv is CSV, anything else JSON).
core::TableFormat format_of(const std::string& format, const std::string& table) {
    if (!format.empty()) return format == "csv" ? core::TableFormat::Csv : core::TableFormat::Json;
    return ends_with(table, ".csv") ? core::TableFormat::Csv : core::TableFormat::Json;
}

int load(Ctx& ctx, const std::string& path, core::DataSet& set) {
    core::SetKind kind;
    int page = 0;
    if (!core::kind_of_file(path, kind, page)) return fail(ctx, ctx.t(Msg::NotASetFile, {path}), TAV_E_FILE_NAME);
    set = core::make_set(kind, page);
    const int code = core::load_set(path, set);
    return code == 0 ? 0 : file_fail(ctx, Msg::StepLoad, path, code);
}

int cmd_export(Ctx& ctx, const TableOpts& o) {
    core::DataSet set;
    if (int rc = load(ctx, o.file, set)) return rc;
    const std::string text = core::table_text(set, format_of(o.format, o.out));
    if (o.out.empty()) {
        // --json has its one document on stdout: the table goes into it.
        if (ctx.json) ctx.doc["table"] = text;
        else std::fputs(text.c_str(), stdout);
        return 0;
    }
    if (!core::save_whole(o.out, text))
        return fail(ctx, ctx.t(Msg::StepSave, {o.out}) + " (" + std::strerror(errno) + ")", TAV_E_NO_FILE);
    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::Exported, {o.out}).c_str());
    ctx.doc["out"] = o.out;
    return 0;
}

int cmd_import(Ctx& ctx, const TableOpts& o) {
    core::DataSet set;
    if (int rc = load(ctx, o.file, set)) return rc;
    std::string text;
    if (!core::read_whole(o.table, text)) return file_fail(ctx, Msg::StepLoad, o.table, TAV_E_NO_FILE);
    int line = 0;
    const core::Outcome r = core::import_table(text, format_of(o.format, o.table), set, line);
    if (!r.ok()) {
        const std::string where = ctx.t(Msg::TableRowRefused, {o.table, std::to_string(line)});
        return fail(ctx, r.msg == Msg::None ? where : where + ": " + describe(ctx, r), r.code);
    }
    const int code = core::save_set(set, o.file);
    if (code != 0) return file_fail(ctx, Msg::StepSave, o.file, code, true);
    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::Saved, {o.file}).c_str());
    return 0;
}

}  // namespace

void add_table_commands(CLI::App& app, Ctx& ctx) {
    auto o = std::make_shared<TableOpts>();
    CLI::App* exp = app.add_subcommand("export", ctx.t(Msg::HelpExport));
    exp->add_option("FILE", o->file, "set file (.k7p, .m7p, .syp, .hsp, .k7l, .k7v, .m7v)")->required();
    exp->add_option("--format", o->format, "json or csv (default: from --out, else json)")->check(CLI::IsMember({"json", "csv"}));
    exp->add_option("--out", o->out, "table file (default: standard output)");
    exp->callback([&ctx, o] { ctx.run = [&ctx, o] { return cmd_export(ctx, *o); }; });

    CLI::App* imp = app.add_subcommand("import", ctx.t(Msg::HelpImport));
    imp->add_option("TABLE", o->table, "table written by tav export (.json or .csv)")->required();
    imp->add_option("--into", o->file, "set file that takes the values (saved in place)")->required();
    imp->add_option("--format", o->format, "json or csv (default: from the table's name)")->check(CLI::IsMember({"json", "csv"}));
    imp->callback([&ctx, o] { ctx.run = [&ctx, o] { return cmd_import(ctx, *o); }; });
}

}  // namespace tavhost
