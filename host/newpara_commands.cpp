// `tav ext ...`: the extended parameters of a KESTA7 / KESTA7 Mini amplifier.
// One command works on one parameter file given with --file: it is loaded at
// the start (when it exists) and the actions that follow run in order on the
// same set, which is written back only by `save`. So one line can read,
// change, write and save:
//
//   tav ext --file a.k7p read change 3 4500 write save
//
// The set is 1.7 MB and lives on the heap. Transfers address a station-list
// entry (--entry N, default the selected one), print it first and show the
// progress bar; Ctrl-C cancels them. Every change is range-checked first.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "host/cli.h"
#include "host/core/data_sets.h"
#include "host/core/device.h"
#include "host/core/edits.h"
#include "host/core/loaded_file.h"
#include "host/core/numbers.h"

namespace tavhost {

namespace {

const char kActionsHelp[] =
    "Actions (run in order on one set):\n"
    "  create MODEL [KIND]        a new set of definition values (MODEL: LIN, VEL, ... or 0..5)\n"
    "  load FILE                  load another parameter file\n"
    "  save [FILE]                save the set (default --file; .csv exports)\n"
    "  show [NO]                  one parameter or the whole page\n"
    "  change NO VALUE...         change values (pairs of number and value, range-checked)\n"
    "  reset NO...                back to the initial values\n"
    "  read [--entry N]           read the set from the amplifier\n"
    "  write [--all] [--entry N]  write the changed (or all) values to the amplifier\n"
    "  init [--entry N]           write the initial values to the amplifier\n"
    "  print                      the listing\n"
    "  csv OUT.csv                CSV export\n"
    "  compare [FILE] [--entry N] read the amplifier and show the values that differ from\n"
    "                             FILE (default the set in hand)\n";

const char* const kActions[] = {"create", "load", "save", "show", "change", "reset",
                                "read", "write", "init", "print", "csv", "compare"};

bool is_action(const std::string& word) {
    for (const char* a : kActions)
        if (word == a) return true;
    return false;
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}


std::string trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

using core::panel_no;

std::string value_text(double value, unsigned attr) { return core::ext_value_text(value, attr); }

// number, panel number, name, value and unit, range, change flag (and the
// result of the last check or transfer when it is not 0).
void show_one(Ctx& ctx, const NewParaRecord& r, int no) {
    const unsigned attr = r.wAttr;
    std::string range = trim(to_utf8(r.szItemComment));
    if (range.empty()) range = value_text(r.dMin, attr) + " .. " + value_text(r.dMax, attr);
    std::fprintf(ctx.out(), "%3d %-5s %s %s %s [%s]%s", no, panel_no(no).c_str(), core::pad_right(to_utf8(r.szName), 30).c_str(),
                 core::pad_left(value_text(r.dValue, attr), 12).c_str(), core::pad_right(to_utf8(r.szNote), 6).c_str(),
                 range.c_str(), r.nChgFlag ? ("  " + ctx.t(Msg::Changed)).c_str() : "");
    const int result = r.nResult;
    if (result != 0) std::fprintf(ctx.out(), "  (%d %s)", result, message(result).c_str());
    std::fprintf(ctx.out(), "\n");
}

Json record_json(const NewParaRecord& r, int no) {
    return {{"no", no}, {"panel", panel_no(no)}, {"name", to_utf8(r.szName)}, {"value", number_json(r.dValue)},
            {"initial", number_json(r.dInitial)}, {"min", number_json(r.dMin)}, {"max", number_json(r.dMax)},
            {"attribute", static_cast<unsigned>(r.wAttr)}, {"changed", r.nChgFlag != 0}, {"result", static_cast<int>(r.nResult)}};
}

// The state of one `tav ext` command.
struct Session {
    explicit Session(Ctx& c) : ctx(c) {}
    Ctx& ctx;
    std::string file;    // --file
    int kind = -1;       // --kind, -1: from the extension
    std::optional<int> entry;  // --entry
    std::unique_ptr<NewParaSet> set = std::make_unique<NewParaSet>();
    bool unsaved = false;

    int kind_for(const std::string& path) const { return kind >= 0 ? kind : core::page_of_file(path); }
};


// Loads a parameter file into `set` (definitions first, then the file's values).
int load_into(Ctx& ctx, NewParaSet* set, const std::string& path, int kind) {
    // The loader accepts a standard-parameter file too, and would fill the set with its 40 values.
    if (const int last = core::last_parameter_number(path); last > 0 && last < 100)
        return fail(ctx, ctx.t(Msg::NotExtendedFile, {path, std::to_string(last)}), TAV_E_FILE_NAME);
    const int code = srvTav_NewPara_ComRd(path.c_str(), nullptr, kind, set, 0, 0);
    if (code != 0) return file_fail(ctx, Msg::StepLoad, path, code);
    warn_if_short(ctx, path, 2, std::min(int{set->nParaCount}, 297), Msg::ShortFileParameters);
    return 0;
}

// Reads the set of the target entry, with the progress bar and Ctrl-C.
int read_into(Ctx& ctx, NewParaSet* set, const core::Target& t, int kind) {
    TerminalBar bar;
    if (core::Outcome r = core::read_ext(set, t, kind, &bar); !r.ok()) return fail(ctx, r);
    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::ReadAt, {set->szAmpNo, to_utf8(set->szReadDate)}).c_str());
    return 0;
}

// The parameters a failed transfer marked, with their messages.
void report_results(NewParaSet* set) {
    NewParaRecord r;
    for (int no = 1; no <= set->nParaCount && no <= 297; ++no) {
        if (srvTav_NewPara_Dat_Rd(set, no, &r) != 0 || r.nResult == 0) continue;
        const int result = r.nResult;
        std::fprintf(stderr, "  %3d %-5s %s: %d  %s\n", no, panel_no(no).c_str(), to_utf8(r.szName).c_str(), result,
                     message(result).c_str());
    }
}

int act_create(Session& s, const std::string& model, const std::string& kindText) {
    const int number = core::model_number(model);
    if (number < 0) return usage(s.ctx, s.ctx.t(Msg::UnknownModel, {model}));
    int kind = s.kind_for(s.file);
    if (!kindText.empty() && !core::parse_int(kindText, 0, 2, kind)) return usage(s.ctx, s.ctx.t(Msg::BadKind, {kindText}));
    const int code = srvTav_NewPara_Create(number, kind, s.set.get());
    if (code != 0) return fail(s.ctx, s.ctx.t(Msg::StepCreate, {model}), code);
    if (!s.file.empty()) srvTav_NewPara_FileName_Chg(s.set.get(), s.file.c_str());
    std::fprintf(s.ctx.out(), "%s\n", s.ctx.t(Msg::Created, {std::to_string(number), std::to_string(kind),
                                                              std::to_string(s.set->nParaCount)}).c_str());
    s.unsaved = true;
    return 0;
}

int act_save(Session& s, const std::string& target) {
    const std::string path = target.empty() ? s.file : target;
    if (path.empty()) return usage(s.ctx, s.ctx.t(Msg::SaveNeedsFile));
    const int code = srvTav_NewPara_ComWt(path.c_str(), nullptr, 0, 0, s.set.get());
    if (code != 0) return file_fail(s.ctx, Msg::StepSave, path, code, true);
    std::fprintf(s.ctx.out(), "%s\n", s.ctx.t(Msg::Saved, {path}).c_str());
    s.unsaved = false;
    return 0;
}

int act_show(Session& s, const std::string& noText) {
    Ctx& ctx = s.ctx;
    NewParaSet* set = s.set.get();
    NewParaRecord r;
    int only = 0;
    if (!noText.empty()) {
        if (!core::parse_int(noText, 1, 297, only)) return usage(ctx, ctx.t(Msg::BadParameterNumber, {noText}));
        const int code = srvTav_NewPara_Dat_Rd(set, only, &r);
        if (code != 0) return fail(ctx, ctx.t(Msg::StepParameter, {noText}), code);
    }
    ctx.doc["file"] = to_utf8(set->szFileName);
    ctx.doc["kind"] = static_cast<int>(set->nKind);
    ctx.doc["amp"] = to_utf8(set->szAmpNo);
    ctx.doc["read_date"] = to_utf8(set->szReadDate);
    ctx.doc["family"] = static_cast<unsigned>(set->nFamily);
    ctx.doc["model"] = static_cast<int>(set->nModel);
    Json list = Json::array();
    if (only != 0) {
        show_one(ctx, r, only);
        list.push_back(record_json(r, only));
        ctx.doc["parameters"] = list;
        return 0;
    }
    char line[2200];
    int lines = 0;
    for (int item : {1, 2, 4}) {
        line[0] = '\0';
        if (srvTav_NewPara_Ctl_Inf_Rd(set, item, &lines, line) == 0) std::fprintf(ctx.out(), "%s\n", to_utf8(line).c_str());
    }
    for (int no = 1; no <= set->nParaCount && no <= 297; ++no) {
        if (srvTav_NewPara_Dat_Rd(set, no, &r) != 0) continue;  // not present on this page
        show_one(ctx, r, no);
        list.push_back(record_json(r, no));
    }
    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::ParameterCount, {std::to_string(list.size())}).c_str());
    ctx.doc["parameters"] = list;
    return 0;
}

int act_change(Session& s, const std::vector<std::pair<std::string, std::string>>& pairs) {
    // Every pair is checked before the first is stored: a refusal leaves the set as it was.
    auto trial = std::make_unique<NewParaSet>();
    std::memcpy(static_cast<void*>(trial.get()), s.set.get(), sizeof *trial);
    for (const auto& [noText, valueText] : pairs) {
        int no = 0;
        double value = 0;
        if (!core::parse_int(noText, 1, 297, no) || !core::parse_real(valueText, value))
            return usage(s.ctx, s.ctx.t(Msg::BadNumberValue, {noText, valueText}));
        if (core::Outcome r = core::change_ext(trial.get(), no, value); !r.ok()) return fail(s.ctx, r);
    }
    s.set = std::move(trial);
    s.unsaved = true;
    return 0;
}

int act_reset(Session& s, const std::vector<std::string>& numbers) {
    for (const std::string& noText : numbers) {
        int no = 0;
        if (!core::parse_int(noText, 1, 297, no)) return usage(s.ctx, s.ctx.t(Msg::BadParameterNumber, {noText}));
        const int code = srvTav_NewPara_Dat_Init(s.set.get(), no);
        if (code != 0) return fail(s.ctx, s.ctx.t(Msg::StepParameter, {noText}), code);
        s.unsaved = true;
    }
    return 0;
}

// The target of a transfer: the action's own --entry, the command's, or the selected entry.
int target_of(Session& s, const std::optional<int>& own, core::Target& t) {
    return open_target(s.ctx, own ? own : s.entry, t);
}

int act_read(Session& s, const std::optional<int>& own) {
    core::Target t;
    if (int rc = target_of(s, own, t)) return rc;
    if (int rc = read_into(s.ctx, s.set.get(), t, s.kind_for(s.file))) return rc;
    if (!s.file.empty()) srvTav_NewPara_FileName_Chg(s.set.get(), s.file.c_str());
    s.ctx.doc["read"] = {{"amp", to_utf8(s.set->szAmpNo)}, {"read_date", to_utf8(s.set->szReadDate)}};
    s.unsaved = true;
    return 0;
}

int act_write(Session& s, bool all, const std::optional<int>& own) {
    if (core::Outcome o = core::check_ext_before_write(s.set.get(), all); !o.ok()) return fail(s.ctx, o);
    core::Target t;
    if (int rc = target_of(s, own, t)) return rc;
    TerminalBar bar;
    if (core::Outcome r = core::write_ext(s.set.get(), t, all, &bar); !r.ok()) {
        const int rc = fail(s.ctx, r);
        report_results(s.set.get());
        return rc;
    }
    std::fprintf(s.ctx.out(), "%s: %s\n", s.ctx.t(Msg::StepWrite).c_str(), message(0).c_str());
    return 0;
}

// The initial write addresses the amplifier named by the set's amplifier
// number; it is pointed at the target entry for the call only.
int act_init(Session& s, const std::optional<int>& own) {
    core::Target t;
    if (int rc = target_of(s, own, t)) return rc;
    char saved[sizeof s.set->szAmpNo];
    std::memcpy(saved, s.set->szAmpNo, sizeof saved);
    std::snprintf(s.set->szAmpNo, sizeof s.set->szAmpNo, "%03d", t.entry);
    const int code = transfer(s.ctx, cancel_field(s.set.get()), [&] { return srvTav_NewPara_ComInitWt(s.set.get()); });
    std::memcpy(s.set->szAmpNo, saved, sizeof saved);
    if (code != 0) {
        const int rc = fail(s.ctx, s.ctx.t(Msg::StepInitialWrite), code);
        report_results(s.set.get());
        return rc;
    }
    std::fprintf(s.ctx.out(), "%s: %s\n", s.ctx.t(Msg::StepInitialWrite).c_str(), message(0).c_str());
    return 0;
}

int act_print(Session& s) {
    std::vector<std::string> lines;
    if (const int code = core::ext_listing(s.set.get(), lines); code != 0) return fail(s.ctx, s.ctx.t(Msg::StepListing), code);
    for (const std::string& l : lines) std::fprintf(s.ctx.out(), "%s\n", l.c_str());
    s.ctx.doc["lines"] = lines;
    return 0;
}

int act_csv(Session& s, const std::string& out) {
    const int code = srvTav_NewParaCsvType_Wt(out.c_str(), s.set.get());
    if (code != 0) return file_fail(s.ctx, Msg::StepCsv, out, code, true);
    std::fprintf(s.ctx.out(), "%s\n", s.ctx.t(Msg::Exported, {out}).c_str());
    return 0;
}

// Reads the amplifier into a set of its own and lists, side by side, the
// parameters whose value differs from the reference (FILE, or the set in hand).
int act_compare(Session& s, const std::string& refFile, const std::optional<int>& own) {
    Ctx& ctx = s.ctx;
    std::unique_ptr<NewParaSet> loaded;
    NewParaSet* ref = s.set.get();
    std::string refName = s.file.empty() ? ctx.t(Msg::TheSet) : s.file;
    if (!refFile.empty()) {
        loaded = std::make_unique<NewParaSet>();
        if (int rc = load_into(ctx, loaded.get(), refFile, s.kind_for(refFile))) return rc;
        ref = loaded.get();
        refName = refFile;
    }
    core::Target t;
    if (int rc = target_of(s, own, t)) return rc;
    auto amp = std::make_unique<NewParaSet>();
    if (int rc = read_into(ctx, amp.get(), t, ref->nKind)) return rc;

    std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::CompareHead, {refName, std::to_string(t.entry)}).c_str());
    std::fprintf(ctx.out(), "%3s %-5s %s %s %s\n", ctx.t(Msg::ColNo).c_str(), "", core::pad_right(ctx.t(Msg::ColName), 30).c_str(),
                 core::pad_left(ctx.t(Msg::ColReference), 16).c_str(), core::pad_left(ctx.t(Msg::ColAmplifier), 16).c_str());
    Json rows = Json::array();
    for (const core::ExtDifference& d : core::ext_differences(ref, amp.get())) {
        std::fprintf(ctx.out(), "%3d %-5s %s %s %s\n", d.no, panel_no(d.no).c_str(), core::pad_right(d.name, 30).c_str(),
                     core::pad_left(d.reference, 16).c_str(), core::pad_left(d.amplifier, 16).c_str());
        rows.push_back({{"no", d.no}, {"panel", panel_no(d.no)}, {"name", d.name}, {"reference", d.reference}, {"amplifier", d.amplifier}});
    }
    const std::size_t differ = rows.size();
    std::fprintf(ctx.out(), "%s\n", differ == 0 ? ctx.t(Msg::NoneDiffers).c_str()
                                                : ctx.t(differ == 1 ? Msg::OneDiffers : Msg::SomeDiffer, {std::to_string(differ)}).c_str());
    ctx.doc["compare"] = {{"reference", refName}, {"entry", t.entry}, {"differences", rows}};
    return 0;
}

// Runs the actions of one ext command line in order.
int run_actions(Session& s, const std::vector<std::string>& args) {
    Ctx& ctx = s.ctx;
    std::size_t i = 0;
    if (args.empty()) return usage(ctx, ctx.t(Msg::GiveAction));

    // The file is loaded first; a missing one is fine when the set is made anew.
    const std::string& first = args[0];
    if (!s.file.empty() && (file_exists(s.file) || (first != "create" && first != "read" && first != "load"))) {
        if (int rc = load_into(ctx, s.set.get(), s.file, s.kind_for(s.file))) return rc;
    }

    // An optional argument is the next word unless that is an action or an option.
    auto optional = [&](std::string& out) {
        if (i < args.size() && !is_action(args[i]) && args[i].rfind("--", 0) != 0) out = args[i++];
    };
    // --all and --entry N after a transfer action.
    auto options = [&](bool allowAll, bool& all, std::optional<int>& entry) -> int {
        while (i < args.size() && args[i].rfind("--", 0) == 0) {
            int n = 0;
            if (allowAll && args[i] == "--all") {
                all = true;
                ++i;
            } else if (args[i] == "--entry" && i + 1 < args.size()) {
                if (!core::parse_int(args[i + 1], 1, core::kMaxEntries, n))
                    return usage(ctx, ctx.t(Msg::BadEntry, {args[i + 1]}));
                entry = n;
                i += 2;
            } else {
                return usage(ctx, ctx.t(Msg::UnknownOption, {args[i]}));
            }
        }
        return 0;
    };

    while (i < args.size()) {
        const std::string action = args[i++];
        int rc = 0;
        bool all = false;
        std::optional<int> entry;
        if (action == "create") {
            if (i >= args.size()) return usage(ctx, ctx.t(Msg::ActionNeeds, {"create", "MODEL"}));
            const std::string model = args[i++];
            std::string kind;
            optional(kind);
            rc = act_create(s, model, kind);
        } else if (action == "load") {
            if (i >= args.size()) return usage(ctx, ctx.t(Msg::ActionNeeds, {"load", "FILE"}));
            const std::string path = args[i++];
            rc = load_into(ctx, s.set.get(), path, s.kind_for(path));
            if (rc == 0) std::fprintf(ctx.out(), "%s\n", ctx.t(Msg::Loaded, {path}).c_str());
        } else if (action == "save") {
            std::string target;
            optional(target);
            rc = act_save(s, target);
        } else if (action == "show") {
            std::string no;
            optional(no);
            rc = act_show(s, no);
        } else if (action == "change") {
            std::vector<std::pair<std::string, std::string>> pairs;
            while (i + 1 < args.size() && !is_action(args[i])) {
                pairs.emplace_back(args[i], args[i + 1]);
                i += 2;
            }
            if (i < args.size() && !is_action(args[i])) return usage(ctx, ctx.t(Msg::ActionNeeds, {"change", "NO VALUE"}));
            if (pairs.empty()) return usage(ctx, ctx.t(Msg::ActionNeeds, {"change", "NO VALUE"}));
            rc = act_change(s, pairs);
        } else if (action == "reset") {
            std::vector<std::string> numbers;
            while (i < args.size() && !is_action(args[i])) numbers.push_back(args[i++]);
            if (numbers.empty()) return usage(ctx, ctx.t(Msg::ActionNeeds, {"reset", "NO"}));
            rc = act_reset(s, numbers);
        } else if (action == "read" || action == "write" || action == "init") {
            if (int u = options(action == "write", all, entry)) return u;
            rc = action == "read" ? act_read(s, entry) : action == "write" ? act_write(s, all, entry) : act_init(s, entry);
        } else if (action == "print") {
            rc = act_print(s);
        } else if (action == "csv") {
            if (i >= args.size()) return usage(ctx, ctx.t(Msg::ActionNeeds, {"csv", "OUT.csv"}));
            rc = act_csv(s, args[i++]);
        } else if (action == "compare") {
            std::string ref;
            optional(ref);
            if (int u = options(false, all, entry)) return u;
            rc = act_compare(s, ref, entry);
        } else {
            return usage(ctx, ctx.t(Msg::UnknownAction, {action}));
        }
        if (rc != 0) return rc;
    }
    if (s.unsaved)
        std::fprintf(stderr, "%s\n", ctx.t(Msg::NotSaved, {s.file.empty() ? ctx.t(Msg::AFile) : s.file}).c_str());
    return 0;
}

struct Opts {
    std::string file, kind, entry;
};

}  // namespace

void add_ext_commands(CLI::App& app, Ctx& ctx) {
    CLI::App* ext = app.add_subcommand("ext", ctx.t(Msg::HelpExt));
    auto o = std::make_shared<Opts>();
    ext->add_option("--file", o->file, "parameter file (.k7p parameters, .syp system or hidden), loaded first when it exists");
    ext->add_option("--kind", o->kind, "0 parameters, 1 system, 2 hidden (default from the extension of FILE)")
        ->check(int_in(0, 2, "kind"));
    add_entry_option(ext, o->entry);
    // Everything from the first action on is the action list, read in order.
    ext->add_flag("--json", ctx.json, ctx.t(Msg::HelpJson));
    ext->fallthrough(false);
    ext->prefix_command();
    ext->footer(kActionsHelp);
    ext->callback([&ctx, o, ext] {
        std::vector<std::string> actions = ext->remaining();
        ctx.run = [&ctx, o, ext, actions] {
            std::vector<std::string> args;
            for (const std::string& a : actions) {
                if (a == "--help" || a == "-h") {
                    std::fputs(ext->help().c_str(), stdout);
                    return 0;
                }
                if (a == "--json") ctx.json = true;
                else args.push_back(a);
            }
            Session s(ctx);
            s.file = o->file;
            s.kind = o->kind.empty() ? -1 : to_int(o->kind);
            s.entry = entry_of(o->entry);
            return run_actions(s, args);
        };
    });
}

}  // namespace tavhost
