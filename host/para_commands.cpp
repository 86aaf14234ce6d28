// Terminal commands for the servo operator's standard parameters: files,
// single values, transfer with a progress bar, listing and CSV export.
// Every command works on a parameter file; a set lives only as long as the
// command. The page follows the extension: .k7p parameters, .syp system
// parameters, .hsp hidden parameters.
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

// Ctrl-C during a transfer asks the library to stop through the set.
std::function<void()> cancel_of(ParaSet* set) {
    return [set] { set->nCancel = TAV_E_CANCELLED; };
}

void show_one(ParaSet* set, int no) {
    ParaRecord r;
    if (srvTav_Para_Dat_Rd(set, no, &r) != 0) return;
    char value[64];
    srvTav_Double_to_Char(r.dValue, r.wAttr, 10, value);
    std::printf("%3d  %-40s %14s  [%g .. %g] init %g%s%s\n", no, to_utf8(r.szName).c_str(), value, r.dMin, r.dMax,
                r.dInitial, r.nChgFlag ? "  changed" : "", r.nResult ? "  (result " : "");
    if (r.nResult) std::printf("%d)\n", r.nResult);
    if (r.szItemComment[0] != '\0') std::printf("     %s\n", to_utf8(r.szItemComment).c_str());
}

// The set (or one parameter of it) as one JSON document.
void show_json(ParaSet* set, int only) {
    std::printf("{\"file\": %s, \"kind\": %d, \"amp\": %s, \"read_date\": %s, \"parameters\": [",
                json_text(to_utf8(set->szFileName)).c_str(), static_cast<int>(set->nKind),
                json_text(to_utf8(set->szAmpNo)).c_str(), json_text(to_utf8(set->szReadDate)).c_str());
    bool first = true;
    for (int no = 1; no <= set->nParaCount; ++no) {
        if (only != 0 && no != only) continue;
        ParaRecord r;
        if (srvTav_Para_Dat_Rd(set, no, &r) != 0) continue;
        std::printf("%s\n  {\"no\": %d, \"name\": %s, \"value\": %s, \"initial\": %s, \"min\": %s, \"max\": %s, "
                    "\"attribute\": %u, \"changed\": %s, \"result\": %d}",
                    first ? "" : ",", no, json_text(to_utf8(r.szName)).c_str(), json_number(r.dValue).c_str(),
                    json_number(r.dInitial).c_str(), json_number(r.dMin).c_str(), json_number(r.dMax).c_str(),
                    static_cast<unsigned>(r.wAttr), r.nChgFlag ? "true" : "false", static_cast<int>(r.nResult));
        first = false;
    }
    std::printf("\n]}\n");
}

std::unique_ptr<ParaSet> load(const std::string& file, int& code) {
    auto set = std::make_unique<ParaSet>();
    code = srvTav_Para_ComRd(file.c_str(), nullptr, kind_of(file), set.get());
    return set;
}

int save(ParaSet* set, const std::string& file) {
    const short code = srvTav_Para_ComWt(file.c_str(), nullptr, 0, 0, set);
    return code != 0 ? fail("save", code) : 0;
}

int cmd_new(const std::vector<std::string>& a) {
    if (a.size() != 2) return fail("para new MODEL FILE", TAV_E_PARAMETER);
    auto set = std::make_unique<ParaSet>();
    short code = srvTav_Para_Create(std::atoi(a[0].c_str()), kind_of(a[1]), set.get());
    if (code != 0) return fail("create", code);
    srvTav_Para_FileName_Chg(set.get(), a[1].c_str());
    return save(set.get(), a[1]);
}

int cmd_show(const std::vector<std::string>& a) {
    if (a.empty()) return fail("para show FILE [NO]", TAV_E_PARAMETER);
    int code = 0;
    auto set = load(a[0], code);
    if (code != 0) return fail("load", code);
    if (a.size() > 1) {
        const int no = std::atoi(a[1].c_str());
        ParaRecord r;
        if ((code = srvTav_Para_Dat_Rd(set.get(), no, &r)) != 0) return fail("show", code);
        if (json_output()) show_json(set.get(), no);
        else show_one(set.get(), no);
        return 0;
    }
    if (json_output()) {
        show_json(set.get(), 0);
        return 0;
    }
    for (int no = 1; no <= set->nParaCount; ++no) show_one(set.get(), no);
    return 0;
}

// Applies NO=VALUE changes with their range check.
int apply_changes(ParaSet* set, const std::vector<std::string>& changes) {
    for (const std::string& c : changes) {
        const std::size_t eq = c.find('=');
        double value = 0;
        if (eq == std::string::npos || !number(c.substr(eq + 1), value)) return fail(c.c_str(), TAV_E_PARAMETER);
        const short code = srvTav_Para_Dat_Chg(set, std::atoi(c.substr(0, eq).c_str()), value);
        if (code != 0) return fail(c.c_str(), code);
    }
    return 0;
}

int cmd_set(const std::vector<std::string>& a) {
    if (a.size() < 2) return fail("para set FILE NO=VALUE...", TAV_E_PARAMETER);
    int code = 0;
    auto set = load(a[0], code);
    if (code != 0) return fail("load", code);
    if (apply_changes(set.get(), std::vector<std::string>(a.begin() + 1, a.end())) != 0) return 1;
    return save(set.get(), a[0]);
}

int cmd_reset(const std::vector<std::string>& a) {
    if (a.size() < 2) return fail("para reset FILE NO...", TAV_E_PARAMETER);
    int code = 0;
    auto set = load(a[0], code);
    if (code != 0) return fail("load", code);
    for (std::size_t i = 1; i < a.size(); ++i)
        if ((code = srvTav_Para_Dat_Init(set.get(), std::atoi(a[i].c_str()))) != 0) return fail(a[i].c_str(), code);
    return save(set.get(), a[0]);
}

int cmd_read(const std::vector<std::string>& a) {
    if (a.empty()) return fail("para read FILE [STATION]", TAV_E_PARAMETER);
    const std::string station = a.size() > 1 ? a[1] : "0";
    auto set = std::make_unique<ParaSet>();
    short code = 0;
    {
        BarsToStderr bars;
        code = with_progress(cancel_of(set.get()), [&] {
            return srvTav_Para_ComRd(nullptr, station.c_str(), kind_of(a[0]), set.get());
        });
    }
    if (code != 0) return fail("read", code);
    if (!json_output()) std::printf("read %s at %s\n", set->szAmpNo, set->szReadDate);
    srvTav_Para_FileName_Chg(set.get(), a[0].c_str());
    if (int rc = save(set.get(), a[0])) return rc;
    if (json_output()) show_json(set.get(), 0);
    return 0;
}

int cmd_write(const std::vector<std::string>& a) {
    if (a.empty()) return fail("para write FILE [--all] [--station N] [NO=VALUE...]", TAV_E_PARAMETER);
    int code = 0;
    auto set = load(a[0], code);
    if (code != 0) return fail("load", code);
    int sendAll = 0;
    std::string station = "0";
    std::vector<std::string> changes;
    for (std::size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "--all") sendAll = 1;
        else if (a[i] == "--station" && i + 1 < a.size()) station = a[++i];
        else changes.push_back(a[i]);
    }
    if (apply_changes(set.get(), changes) != 0) return 1;
    code = with_progress(cancel_of(set.get()),
                         [&] { return srvTav_Para_ComWt(nullptr, station.c_str(), 0, sendAll, set.get()); });
    if (code != 0) return fail("write", code);
    std::printf("write: %s\n", message(0).c_str());
    return save(set.get(), a[0]);
}

int cmd_print(const std::vector<std::string>& a) {
    if (a.empty()) return fail("para print FILE", TAV_E_PARAMETER);
    int code = 0;
    auto set = load(a[0], code);
    if (code != 0) return fail("load", code);
    auto page = std::make_unique<ParaPrint>();
    if ((code = srvTav_ParaPrint_Mak(set.get(), page.get())) != 0) return fail("print", code);
    char line[TAV_PARA_INFO_SIZE];
    for (int item : {1, 2, 3, 4, 8, 9, 12}) {
        srvTav_Para_Ctl_Inf_Rd(set.get(), item, line);
        std::printf("%s\n", to_utf8(line).c_str());
    }
    std::printf("%s\n%s\n", to_utf8(page->szPrintComment).c_str(), to_utf8(page->szPrintHead).c_str());
    for (int i = 0; i < page->nPrintLines; ++i) std::printf("%s\n", to_utf8(page->szPrintLine[i]).c_str());
    return 0;
}

int cmd_csv(const std::vector<std::string>& a) {
    if (a.size() != 2) return fail("para csv FILE OUT.csv", TAV_E_PARAMETER);
    int code = 0;
    auto set = load(a[0], code);
    if (code != 0) return fail("load", code);
    if ((code = srvTav_ParaCsvType_Wt(a[1].c_str(), set.get())) != 0) return fail("csv", code);
    return 0;
}

}  // namespace

const char* para_usage() {
    return "standard parameters of the servo operator (FILE: .k7p, .syp or .hsp):\n"
           "  para new MODEL FILE              a new set of the model, saved to FILE\n"
           "  para show FILE [NO]              the whole set or one parameter\n"
           "  para set FILE NO=VALUE...        change values (range checked)\n"
           "  para reset FILE NO...            back to the initial values\n"
           "  para read FILE [STATION]         read from the servo operator into FILE\n"
           "  para write FILE [--all] [--station N] [NO=VALUE...]\n"
           "                                   send the changed (or all) values\n"
           "  para print FILE                  the listing\n"
           "  para csv FILE OUT.csv            CSV export\n";
}

int run_para_command(const std::string& command, const std::vector<std::string>& args) {
    if (command != "para") return -1;
    if (args.empty()) {
        std::fputs(para_usage(), stdout);
        return 2;
    }
    const std::string sub = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (sub == "new") return cmd_new(rest);
    if (sub == "show") return cmd_show(rest);
    if (sub == "set") return cmd_set(rest);
    if (sub == "reset") return cmd_reset(rest);
    if (sub == "read") return cmd_read(rest);
    if (sub == "write") return cmd_write(rest);
    if (sub == "print") return cmd_print(rest);
    if (sub == "csv") return cmd_csv(rest);
    std::fputs(para_usage(), stderr);
    return 2;
}

}  // namespace tavhost
