// `tav ext ...`: the extended parameters of a KESTA7 / KESTA7 Mini amplifier.
// One command works on one parameter file given with --file: it is loaded at
// the start (when it exists) and the actions that follow run in order on the
// same set, which is written back only by `save`. So one line can read,
// change, write and save:
//
//   tav ext --file a.k7p read change 3 4500 write save
//
// The set is 1.7 MB and lives on the heap. Transfers address a station-list
// entry (--entry N, default the selected one) and show a progress bar; Ctrl-C
// cancels them.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "host/commands_common.h"
#include "host/console.h"

namespace tavhost {

namespace {

const char kUsage[] =
    "extended parameters of KESTA7 / KESTA7 Mini (FILE: .k7p parameters, .syp system or hidden):\n"
    "  ext [--file FILE] [--kind 0|1|2] [--entry N] ACTION [ACTION...]\n"
    "    FILE is loaded first when it exists; the actions run in order on one set.\n"
    "    --kind: 0 parameters, 1 system, 2 hidden (default from the extension of FILE)\n"
    "    --entry: station-list entry of the transfers (default the selected one)\n"
    "  actions:\n"
    "    create MODEL [KIND]        a new set of definition values (MODEL: number or name, e.g. LIN)\n"
    "    load FILE                  load another parameter file\n"
    "    save [FILE]                save the set (default --file; .csv exports)\n"
    "    show [NO]                  one parameter or the whole page\n"
    "    change NO VALUE...         change values (pairs of number and value)\n"
    "    reset NO...                back to the initial values\n"
    "    read [--entry N]           read the set from the amplifier\n"
    "    write [--all] [--entry N]  write the changed (or all) values to the amplifier\n"
    "    init [--entry N]           write the initial values to the amplifier\n"
    "    print                      the listing\n"
    "    csv OUT.csv                CSV export\n"
    "    compare [FILE] [--entry N] read the amplifier and show the values that differ from\n"
    "                               FILE (default the set in hand)\n";

const char* const kActions[] = {"create", "load",  "save",  "show", "change", "reset",
                                "read",   "write", "init",  "print", "csv",   "compare"};

bool is_action(const std::string& word) {
    for (const char* a : kActions)
        if (word == a) return true;
    return false;
}

int usage_error(const std::string& why) {
    if (!why.empty()) std::fprintf(stderr, "ext: %s\n", why.c_str());
    std::fputs(kUsage, stderr);
    return 2;
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::unique_ptr<NewParaSet> new_set() { return std::make_unique<NewParaSet>(); }

std::function<void()> cancel_of(NewParaSet* set) {
    return [set] { set->nCancel = TAV_E_CANCELLED; };
}

// "1_05": page and number within the page, as the amplifier's panel shows it.
std::string panel_no(int no) {
    char text[16];
    std::snprintf(text, sizeof text, "%d_%02d", (no - 1) / 99 + 1, (no - 1) % 99 + 1);
    return text;
}

std::string trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The fixed-width text of the value formatter without its leading zeros:
// "000000008.0" -> "8.0", "-0000012" -> "-12", "0000000000" -> "0".
std::string without_leading_zeros(const std::string& text) {
    std::string t = trim(text);
    std::string sign;
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        if (t[0] == '-') sign = "-";
        t.erase(0, 1);
    }
    std::size_t z = 0;
    while (z + 1 < t.size() && t[z] == '0' && t[z + 1] != '.') ++z;
    t.erase(0, z);
    return sign + t;
}

// A value as the amplifier's attribute shows it: decimals, or hexadecimal "H".
std::string value_text(double value, unsigned attr) {
    char text[64] = "";
    if ((attr & 0x0002) != 0) {
        std::snprintf(text, sizeof text, "%lXH", static_cast<unsigned long>(static_cast<long>(value)));
        return text;
    }
    if (srvTav_Double_to_Char(value, static_cast<int>(attr), 10, text) != 0)
        std::snprintf(text, sizeof text, "%.2f", value);
    return without_leading_zeros(text);
}

// Terminal columns of UTF-8 text: wide (2) for the CJK and full-width ranges,
// 1 for everything else, including half-width katakana.
std::size_t columns(const std::string& text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        unsigned cp = c;
        if (len == 3 && i + 2 < text.size())
            cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
        const bool wide = len == 4 || (len == 3 && cp >= 0x1100 && !(cp >= 0xFF61 && cp <= 0xFF9F));
        width += wide ? 2 : 1;
        i += len;
    }
    return width;
}

// Text padded with blanks to `width` terminal columns.
std::string pad(const std::string& text, std::size_t width) {
    const std::size_t w = columns(text);
    return w >= width ? text : text + std::string(width - w, ' ');
}

// number, panel number, name, value and unit, range, change flag (and the
// result of the last check or transfer when it is not 0).
void show_one(const NewParaRecord& r, int no) {
    const unsigned attr = r.wAttr;
    std::string range = trim(to_utf8(r.szItemComment));
    if (range.empty()) range = value_text(r.dMin, attr) + " .. " + value_text(r.dMax, attr);
    std::printf("%3d %-5s %s %12s %s [%s]%s", no, panel_no(no).c_str(), pad(to_utf8(r.szName), 30).c_str(),
                value_text(r.dValue, attr).c_str(), pad(to_utf8(r.szNote), 6).c_str(), range.c_str(),
                r.nChgFlag ? "  changed" : "");
    const int result = r.nResult;
    if (result != 0) std::printf("  (%d %s)", result, message(result).c_str());
    std::printf("\n");
}

// The state of one `tav ext` command.
struct Session {
    std::string file;    // --file
    int kind = -1;       // --kind, -1: from the extension
    std::string entry;   // --entry, empty: the selected one
    std::unique_ptr<NewParaSet> set = new_set();
    bool unsaved = false;

    int kind_for(const std::string& path) const { return kind >= 0 ? kind : kind_of(path); }

    // The entry of a transfer: the action's own, the command's, or the selected one.
    int entry_of(const std::string& own, std::string& out) const {
        out = !own.empty() ? own : entry;
        if (out.empty()) {
            char selected[8] = "";
            const short code = srvTav_Amp_Rd(selected);
            if (code != 0) return fail("selected entry", code);
            out = trim(selected);
        }
        int n = 0;
        if (!integer(out, n) || n < 1 || n > 50) {
            std::fprintf(stderr, "ext: entry %s is not a station-list entry (1..50)\n", out.c_str());
            return 2;
        }
        out = std::to_string(n);
        return 0;
    }
};

// Loads a parameter file into `set` (definitions first, then the file's values).
int load_into(NewParaSet* set, const std::string& path, int kind) {
    const short code = srvTav_NewPara_ComRd(path.c_str(), nullptr, kind, set, 0, 0);
    return code == 0 ? 0 : fail(("load " + path).c_str(), code);
}

// Reads the set of a station-list entry, with the progress bar and Ctrl-C.
int read_into(NewParaSet* set, const std::string& entry, int kind) {
    FILE* const out = json_output() ? stderr : stdout;  // --json: stdout carries the documents only
    std::fprintf(out, "reading entry %s\n", entry.c_str());
    short code = 0;
    {
        BarsToStderr bars;
        code = with_progress(cancel_of(set), [&] { return srvTav_NewPara_ComRd(nullptr, entry.c_str(), kind, set, 0, 0); });
    }
    if (code != 0) return fail("read", code);
    std::fprintf(out, "read amplifier %s at %s\n", set->szAmpNo, set->szReadDate);
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
    int number = srvGet_ModelNumberFromName(model.c_str());
    if (number < 0 && !integer(model, number)) return usage_error("create: unknown model " + model);
    int kind = s.kind_for(s.file);
    if (!kindText.empty() && !integer(kindText, kind)) return usage_error("create: kind is a number");
    const short code = srvTav_NewPara_Create(number, kind, s.set.get());
    if (code != 0) return fail("create", code);
    if (!s.file.empty()) srvTav_NewPara_FileName_Chg(s.set.get(), s.file.c_str());
    std::printf("created model %d kind %d: %d parameters\n", number, kind, static_cast<int>(s.set->nParaCount));
    s.unsaved = true;
    return 0;
}

int act_save(Session& s, const std::string& target) {
    const std::string path = target.empty() ? s.file : target;
    if (path.empty()) return usage_error("save: give a FILE or --file");
    const short code = srvTav_NewPara_ComWt(path.c_str(), nullptr, 0, 0, s.set.get());
    if (code != 0) return fail(("save " + path).c_str(), code);
    std::printf("saved %s\n", path.c_str());
    s.unsaved = false;
    return 0;
}

// --json: the parameters in use (or one of them) as one document.
void show_json(NewParaSet* set, int only) {
    std::printf("{\"file\": %s, \"kind\": %d, \"amp\": %s, \"read_date\": %s, \"family\": %d, \"model\": %d, "
                "\"parameters\": [",
                json_text(to_utf8(set->szFileName)).c_str(), static_cast<int>(set->nKind),
                json_text(to_utf8(set->szAmpNo)).c_str(), json_text(to_utf8(set->szReadDate)).c_str(),
                static_cast<int>(set->nFamily), static_cast<int>(set->nModel));
    bool first = true;
    for (int no = 1; no <= set->nParaCount && no <= 297; ++no) {
        NewParaRecord r;
        if ((only != 0 && no != only) || srvTav_NewPara_Dat_Rd(set, no, &r) != 0) continue;
        std::printf("%s\n  {\"no\": %d, \"panel\": %s, \"name\": %s, \"value\": %s, \"initial\": %s, \"min\": %s, "
                    "\"max\": %s, \"attribute\": %u, \"changed\": %s, \"result\": %d}",
                    first ? "" : ",", no, json_text(panel_no(no)).c_str(), json_text(to_utf8(r.szName)).c_str(),
                    json_number(r.dValue).c_str(), json_number(r.dInitial).c_str(), json_number(r.dMin).c_str(),
                    json_number(r.dMax).c_str(), static_cast<unsigned>(r.wAttr), r.nChgFlag ? "true" : "false",
                    static_cast<int>(r.nResult));
        first = false;
    }
    std::printf("\n]}\n");
}

int act_show(Session& s, const std::string& noText) {
    NewParaRecord r;
    if (!noText.empty()) {
        int no = 0;
        if (!integer(noText, no)) return usage_error("show: " + noText + " is not a parameter number");
        const short code = srvTav_NewPara_Dat_Rd(s.set.get(), no, &r);
        if (code != 0) return fail(("show: parameter " + noText).c_str(), code);
        if (json_output()) show_json(s.set.get(), no);
        else show_one(r, no);
        return 0;
    }
    if (json_output()) {
        show_json(s.set.get(), 0);
        return 0;
    }
    char line[2200];
    int lines = 0;
    for (int item : {1, 2, 4}) {
        line[0] = '\0';
        if (srvTav_NewPara_Ctl_Inf_Rd(s.set.get(), item, &lines, line) == 0) std::printf("%s\n", to_utf8(line).c_str());
    }
    int shown = 0;
    for (int no = 1; no <= s.set->nParaCount && no <= 297; ++no) {
        if (srvTav_NewPara_Dat_Rd(s.set.get(), no, &r) != 0) continue;  // not present on this page
        show_one(r, no);
        ++shown;
    }
    std::printf("%d parameters\n", shown);
    return 0;
}

int act_change(Session& s, const std::vector<std::pair<std::string, std::string>>& pairs) {
    for (const auto& [noText, valueText] : pairs) {
        int no = 0;
        double value = 0;
        if (!integer(noText, no) || !number(valueText, value))
            return usage_error("change: " + noText + " " + valueText + " is not a number and a value");
        const short code = srvTav_NewPara_Dat_Chg(s.set.get(), no, value);
        if (code != 0) return fail(("change: parameter " + noText).c_str(), code);
        s.unsaved = true;
    }
    return 0;
}

int act_reset(Session& s, const std::vector<std::string>& numbers) {
    for (const std::string& noText : numbers) {
        int no = 0;
        if (!integer(noText, no)) return usage_error("reset: " + noText + " is not a parameter number");
        const short code = srvTav_NewPara_Dat_Init(s.set.get(), no);
        if (code != 0) return fail(("reset: parameter " + noText).c_str(), code);
        s.unsaved = true;
    }
    return 0;
}

int act_read(Session& s, const std::string& ownEntry) {
    std::string entry;
    if (int rc = s.entry_of(ownEntry, entry)) return rc;
    if (int rc = read_into(s.set.get(), entry, s.kind_for(s.file))) return rc;
    if (!s.file.empty()) srvTav_NewPara_FileName_Chg(s.set.get(), s.file.c_str());
    s.unsaved = true;
    return 0;
}

int act_write(Session& s, bool all, const std::string& ownEntry) {
    std::string entry;
    if (int rc = s.entry_of(ownEntry, entry)) return rc;
    std::printf("writing %s values to entry %s\n", all ? "all" : "the changed", entry.c_str());
    const short code = with_progress(cancel_of(s.set.get()), [&] {
        return srvTav_NewPara_ComWt(nullptr, entry.c_str(), 0, all ? 1 : 0, s.set.get());
    });
    if (code != 0) {
        const int rc = fail("write", code);
        report_results(s.set.get());
        return rc;
    }
    std::printf("write: %s\n", message(0).c_str());
    return 0;
}

// The initial write addresses the amplifier named by the set's amplifier
// number; it is pointed at the chosen entry for the call only.
int act_init(Session& s, const std::string& ownEntry) {
    std::string entry;
    if (int rc = s.entry_of(ownEntry, entry)) return rc;
    char saved[sizeof s.set->szAmpNo];
    std::memcpy(saved, s.set->szAmpNo, sizeof saved);
    std::snprintf(s.set->szAmpNo, sizeof s.set->szAmpNo, "%03d", std::atoi(entry.c_str()));
    std::printf("writing the initial values to entry %s\n", entry.c_str());
    const short code =
        with_progress(cancel_of(s.set.get()), [&] { return srvTav_NewPara_ComInitWt(s.set.get()); });
    std::memcpy(s.set->szAmpNo, saved, sizeof saved);
    if (code != 0) {
        const int rc = fail("initial write", code);
        report_results(s.set.get());
        return rc;
    }
    std::printf("initial write: %s\n", message(0).c_str());
    return 0;
}

int act_print(Session& s) {
    auto page = std::make_unique<NewParaPrint>();
    const short code = srvTav_NewParaPrint_Mak(s.set.get(), page.get());
    if (code != 0) return fail("print", code);
    char line[2200];
    int lines = 0;
    for (int item : {1, 2, 3, 4, 5, 8, 9, 11, 12}) {
        line[0] = '\0';
        if (srvTav_NewPara_Ctl_Inf_Rd(s.set.get(), item, &lines, line) == 0 && line[0] != '\0')
            std::printf("%s\n", to_utf8(line).c_str());
    }
    std::printf("%s\n%s\n", to_utf8(page->szCommentLine).c_str(), to_utf8(page->szHeader).c_str());
    const int count = page->nLines;
    for (int i = 0; i < count && i < 297; ++i) std::printf("%s\n", to_utf8(page->szLine[i]).c_str());
    return 0;
}

int act_csv(Session& s, const std::string& out) {
    const short code = srvTav_NewParaCsvType_Wt(out.c_str(), s.set.get());
    if (code != 0) return fail(("csv " + out).c_str(), code);
    std::printf("exported %s\n", out.c_str());
    return 0;
}

// Reads the amplifier into a set of its own and lists, side by side, the
// parameters whose value differs from the reference (FILE, or the set in hand).
int act_compare(Session& s, const std::string& refFile, const std::string& ownEntry) {
    std::unique_ptr<NewParaSet> loaded;
    NewParaSet* ref = s.set.get();
    std::string refName = s.file.empty() ? "set" : s.file;
    if (!refFile.empty()) {
        loaded = new_set();
        if (int rc = load_into(loaded.get(), refFile, s.kind_for(refFile))) return rc;
        ref = loaded.get();
        refName = refFile;
    }
    std::string entry;
    if (int rc = s.entry_of(ownEntry, entry)) return rc;
    auto amp = new_set();
    if (int rc = read_into(amp.get(), entry, ref->nKind)) return rc;

    std::printf("reference: %s, amplifier: entry %s\n", refName.c_str(), entry.c_str());
    std::printf("%3s %-5s %s %16s %16s\n", "no", "", pad("name", 30).c_str(), "reference", "amplifier");
    int differ = 0;
    NewParaRecord a, b;
    const int count = ref->nParaCount > amp->nParaCount ? ref->nParaCount : amp->nParaCount;
    for (int no = 1; no <= count && no <= 297; ++no) {
        const bool inRef = srvTav_NewPara_Dat_Rd(ref, no, &a) == 0;
        const bool inAmp = srvTav_NewPara_Dat_Rd(amp.get(), no, &b) == 0;
        if (!inRef && !inAmp) continue;
        const std::string left = inRef ? value_text(a.dValue, a.wAttr) : "-";
        const std::string right = inAmp ? value_text(b.dValue, inRef ? a.wAttr : b.wAttr) : "-";
        if (left == right) continue;
        ++differ;
        std::printf("%3d %-5s %s %16s %16s\n", no, panel_no(no).c_str(),
                    pad(to_utf8(inRef ? a.szName : b.szName), 30).c_str(), left.c_str(), right.c_str());
    }
    if (differ == 0) std::printf("no parameter differs\n");
    else std::printf("%d parameter%s differ%s\n", differ, differ == 1 ? "" : "s", differ == 1 ? "s" : "");
    return 0;
}

// The options of an action that follow it: --all and --entry N.
struct ActionOptions {
    bool all = false;
    std::string entry;
};

}  // namespace

const char* ext_usage() { return kUsage; }

int run_ext_command(const std::string& command, const std::vector<std::string>& args) {
    if (command != "ext") return -1;
    Session s;
    std::size_t i = 0;
    for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
        const std::string& opt = args[i];
        if (i + 1 >= args.size()) return usage_error(opt + " needs a value");
        if (opt == "--file") {
            s.file = args[++i];
        } else if (opt == "--kind") {
            if (!integer(args[++i], s.kind) || s.kind < 0) return usage_error("--kind is 0, 1 or 2");
        } else if (opt == "--entry") {
            s.entry = args[++i];
        } else {
            return usage_error("unknown option " + opt);
        }
    }
    if (i >= args.size()) return usage_error("give at least one action");

    // The file is loaded first; a missing one is fine when the set is made anew.
    const std::string& first = args[i];
    if (!s.file.empty() && (file_exists(s.file) || (first != "create" && first != "read" && first != "load"))) {
        if (int rc = load_into(s.set.get(), s.file, s.kind_for(s.file))) return rc;
    }

    // An optional argument is the next word unless that is an action or an option.
    auto optional = [&](std::string& out) {
        if (i < args.size() && !is_action(args[i]) && args[i].rfind("--", 0) != 0) out = args[i++];
    };
    auto options = [&](ActionOptions& o, bool allowAll) -> bool {
        while (i < args.size() && args[i].rfind("--", 0) == 0) {
            if (allowAll && args[i] == "--all") {
                o.all = true;
                ++i;
            } else if (args[i] == "--entry" && i + 1 < args.size()) {
                o.entry = args[i + 1];
                i += 2;
            } else {
                return false;
            }
        }
        return true;
    };

    while (i < args.size()) {
        const std::string action = args[i++];
        int rc = 0;
        ActionOptions o;
        if (action == "create") {
            if (i >= args.size()) return usage_error("create: give a MODEL");
            const std::string model = args[i++];
            std::string kind;
            if (i < args.size() && !is_action(args[i])) kind = args[i++];
            rc = act_create(s, model, kind);
        } else if (action == "load") {
            if (i >= args.size()) return usage_error("load: give a FILE");
            const std::string path = args[i++];
            rc = load_into(s.set.get(), path, s.kind_for(path));
            if (rc == 0) std::printf("loaded %s\n", path.c_str());
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
            if (pairs.empty()) return usage_error("change: give NO VALUE");
            rc = act_change(s, pairs);
        } else if (action == "reset") {
            std::vector<std::string> numbers;
            while (i < args.size() && !is_action(args[i])) numbers.push_back(args[i++]);
            if (numbers.empty()) return usage_error("reset: give NO");
            rc = act_reset(s, numbers);
        } else if (action == "read" || action == "write" || action == "init") {
            if (!options(o, action == "write")) return usage_error(action + ": unknown option " + args[i]);
            rc = action == "read" ? act_read(s, o.entry) : action == "write" ? act_write(s, o.all, o.entry)
                                                                              : act_init(s, o.entry);
        } else if (action == "print") {
            rc = act_print(s);
        } else if (action == "csv") {
            if (i >= args.size()) return usage_error("csv: give OUT.csv");
            rc = act_csv(s, args[i++]);
        } else if (action == "compare") {
            std::string ref;
            optional(ref);
            if (!options(o, false)) return usage_error("compare: unknown option " + args[i]);
            rc = act_compare(s, ref, o.entry);
        } else {
            return usage_error("unknown action " + action);
        }
        if (rc != 0) return rc;
    }
    if (s.unsaved)
        std::fprintf(stderr, "note: the set was not saved (add `save` to keep it in %s)\n",
                     s.file.empty() ? "a file" : s.file.c_str());
    return 0;
}

}  // namespace tavhost
