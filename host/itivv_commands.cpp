// `tav vv ...`: the VV positioning table of a V-type amplifier, through the
// library's C interface only. Every command works on a ".k7v"/".m7v" file, so
// an edit is a load, a change and a save.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "host/console.h"

namespace tavhost {

namespace {

const char kUsage[] =
    "VV positioning table (V-type amplifier, 15 points):\n"
    "  vv create MODEL FILE       new table from the VV template of MODEL (0 VEL .. 5 VEL_KB)\n"
    "  vv show FILE               load a .k7v/.m7v file and show its points (also: vv load)\n"
    "  vv save FILE OUT           save under another name (.k7v, .m7v or .csv)\n"
    "  vv change FILE NO CMD STEP POS SPEED ACCEL DECEL TIMER MCODE MVALID MTIMING\n"
    "  vv insert FILE NO CMD STEP POS SPEED ACCEL DECEL TIMER MCODE MVALID MTIMING\n"
    "  vv delete FILE NO          remove a point; the points after it move up\n"
    "  vv reset FILE NO           reset a point to its initial values\n"
    "  vv read ENTRY FILE         select station-list entry ENTRY and read its table into FILE\n"
    "  vv write FILE ENTRY        select entry ENTRY and write every point of FILE to it\n"
    "  vv init FILE               initial write of FILE to the selected amplifier\n"
    "  vv list FILE               the listing with its description lines\n"
    "  vv csv FILE OUT            the CSV export\n";

int fail(const char* step, int code) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %d  %s\n", step, code, message(code).c_str());
    return 1;
}

bool to_int(const std::string& text, int* out) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0') return false;
    *out = static_cast<int>(v);
    return true;
}

bool to_double(const std::string& text, double* out) {
    char* end = nullptr;
    *out = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

int usage_error() {
    std::fputs(kUsage, stderr);
    return 2;
}

std::unique_ptr<ItiVvDatSet> load(const std::string& file, int* rc) {
    auto set = std::make_unique<ItiVvDatSet>();
    const short code = srvTav_ItiVvDatFil_Rd(file.c_str(), set.get());
    *rc = code == 0 ? 0 : fail("load", code);
    return set;
}

int save(ItiVvDatSet* set, const std::string& file) {
    const short code = srvTav_ItiVvDatFil_Wt(file.c_str(), set);
    if (code != 0) return fail("save", code);
    std::printf("saved %s\n", file.c_str());
    return 0;
}

// --json: the table as one document.
int show_json(ItiVvDatSet* set) {
    std::printf("{\"file\": %s, \"amp\": %s, \"read_date\": %s, \"model\": %d, \"family\": %u, "
                "\"stop_pos_dp\": %u, \"stop_time_dp\": %u, \"points\": [",
                json_text(to_utf8(set->szFileName)).c_str(), json_text(to_utf8(set->szAmpNo)).c_str(),
                json_text(to_utf8(set->szReadDate)).c_str(), static_cast<int>(set->nModel),
                static_cast<unsigned>(set->nFamily), static_cast<unsigned>(set->wStopPosDp),
                static_cast<unsigned>(set->wStopTimeDp));
    for (int i = 0; i < set->nPointCount && i < 15; ++i) {
        const ItiVvDatPoint& p = set->point[i];
        std::printf("%s\n  {\"no\": %d, \"cmd_mode\": %d, \"step_mode\": %d, \"stop_pos\": %s, \"speed\": %s, "
                    "\"accel\": %s, \"decel\": %s, \"stop_timer\": %s, \"m_code\": %d, \"m_valid\": %d, "
                    "\"m_timing\": %d, \"changed\": %d}",
                    i == 0 ? "" : ",", i + 1, static_cast<int>(p.nCmdMode), static_cast<int>(p.nStepMode),
                    json_number(p.dStopPos).c_str(), json_number(p.dSpeed).c_str(), json_number(p.dAccelTime).c_str(),
                    json_number(p.dDecelTime).c_str(), json_number(p.dStopTimer).c_str(), static_cast<int>(p.nMCode),
                    static_cast<int>(p.nMValid), static_cast<int>(p.nMTiming), static_cast<int>(p.nChgFlag));
    }
    std::printf("\n]}\n");
    return 0;
}

int show(ItiVvDatSet* set) {
    if (json_output()) return show_json(set);
    std::printf("amplifier %s  model %d  family 0x%02X  stop position %u places  stop timer %u places\n",
                set->szAmpNo, set->nModel, set->nFamily, set->wStopPosDp, set->wStopTimeDp + 2u);
    std::printf(" no  cmd step    stop pos    speed   accel   decel   timer mcode valid timing chg\n");
    for (int no = 1; no <= set->nPointCount && no <= 15; ++no) {
        ItiVvDatPoint p{};
        if (srvTav_ItiVvDat_Rd(set, no, &p) != 0) break;
        const ItiVvDatPoint& q = set->point[no - 1];  // the M-code flags are read from the set
        std::printf("%3d %4d %4d %11.*f %8.2f %7.1f %7.1f %7.*f %5d %5d %6d %3d\n", p.nDataNo, p.nCmdMode,
                    p.nStepMode, set->wStopPosDp, p.dStopPos, p.dSpeed, p.dAccelTime, p.dDecelTime,
                    set->wStopTimeDp + 2, p.dStopTimer, p.nMCode, q.nMValid, q.nMTiming, p.nChgFlag);
    }
    return 0;
}

// The ten values of a point after FILE and NO.
bool point_values(const std::vector<std::string>& a, int* ints, double* reals) {
    // CMD STEP | POS SPEED ACCEL DECEL TIMER | MCODE MVALID MTIMING
    if (a.size() != 12) return false;
    return to_int(a[2], &ints[0]) && to_int(a[3], &ints[1]) && to_double(a[4], &reals[0]) &&
           to_double(a[5], &reals[1]) && to_double(a[6], &reals[2]) && to_double(a[7], &reals[3]) &&
           to_double(a[8], &reals[4]) && to_int(a[9], &ints[2]) && to_int(a[10], &ints[3]) &&
           to_int(a[11], &ints[4]);
}

int cmd_edit(const std::string& what, const std::vector<std::string>& a) {
    int no = 0;
    if (a.size() < 2 || !to_int(a[1], &no)) return usage_error();
    int rc = 0;
    auto set = load(a[0], &rc);
    if (rc != 0) return rc;
    short code;
    if (what == "change" || what == "insert") {
        int i[5];
        double d[5];
        if (!point_values(a, i, d)) return usage_error();
        code = what == "change"
                   ? srvTav_ItiVvDat_Chg(set.get(), no, i[0], i[1], d[0], d[1], d[2], d[3], d[4], i[2], i[3], i[4])
                   : srvTav_ItiVvDat_Insert(set.get(), no, i[0], i[1], d[0], d[1], d[2], d[3], d[4], i[2], i[3],
                                            i[4]);
    } else {
        if (a.size() != 2) return usage_error();
        code = what == "delete" ? srvTav_ItiVvDat_Delete(set.get(), no) : srvTav_ItiVvDat_Init(set.get(), no);
    }
    if (code != 0) return fail(what.c_str(), code);
    return save(set.get(), a[0]);
}

// The transfers go to the amplifier selected in the station list, as the
// loader's amplifier choice does it.
int select_entry(const std::string& entry) {
    const short code = srvTav_Amp_Wt(entry.c_str());
    return code == 0 ? 0 : fail("select", code);
}

int cmd_list(ItiVvDatSet* set) {
    for (int index = 1; index <= 12; ++index) {
        char line[2200] = "";
        int count = 0;
        if (srvTav_ItiVvDat_Ctl_Inf_Rd(set, index, &count, line) == 0) std::printf("%s\n", to_utf8(line).c_str());
    }
    auto print = std::make_unique<ItiVvDatPrintData>();
    const short code = srvTav_ItiVvDatPrint_mak(set, print.get());
    std::printf("\n%s\n%s\n%s\n", to_utf8(print->szTitle).c_str(), to_utf8(print->szColumnTitle1).c_str(),
                to_utf8(print->szColumnTitle2).c_str());
    for (int i = 0; i < print->nLineCount && i < 15; ++i) std::printf("%s\n", to_utf8(print->szPointLine[i]).c_str());
    return code == 0 ? 0 : fail("listing", code);
}

}  // namespace

int run_itivv_command(const std::string& command, const std::vector<std::string>& args) {
    if (command != "vv") return -1;
    if (args.empty()) return usage_error();
    const std::string what = args[0];
    const std::vector<std::string> a(args.begin() + 1, args.end());
    int rc = 0;

    if (what == "create" && a.size() == 2) {
        int model = 0;
        if (!to_int(a[0], &model)) return usage_error();
        auto set = std::make_unique<ItiVvDatSet>();
        const short code = srvTav_ItiVvDatFil_Create(model, set.get());
        if (code != 0) return fail("create", code);
        return save(set.get(), a[1]);
    }
    if ((what == "show" || what == "load") && a.size() == 1) {
        auto set = load(a[0], &rc);
        return rc != 0 ? rc : show(set.get());
    }
    if ((what == "save" || what == "csv") && a.size() == 2) {
        auto set = load(a[0], &rc);
        if (rc != 0) return rc;
        if (what == "csv") {
            const short code = srvTav_ItiVvDatCsvType_Wt(a[1].c_str(), set.get());
            if (code != 0) return fail("csv", code);
            std::printf("exported %s\n", a[1].c_str());
            return 0;
        }
        return save(set.get(), a[1]);
    }
    if (what == "change" || what == "insert" || what == "delete" || what == "reset") return cmd_edit(what, a);
    if (what == "read" && a.size() == 2) {
        if ((rc = select_entry(a[0])) != 0) return rc;
        auto set = std::make_unique<ItiVvDatSet>();
        const short code = srvTav_ItiVvDat_ComRd(nullptr, a[0].c_str(), set.get());
        if (code != 0) return fail("read", code);
        if (json_output()) {  // the document alone on stdout
            {
                BarsToStderr toStderr;
                if ((rc = save(set.get(), a[1])) != 0) return rc;
            }
            return show(set.get());
        }
        show(set.get());
        return save(set.get(), a[1]);
    }
    if (what == "write" && a.size() == 2) {
        auto set = load(a[0], &rc);
        if (rc != 0) return rc;
        if ((rc = select_entry(a[1])) != 0) return rc;
        const short code = srvTav_ItiVvDat_ComWt(nullptr, a[1].c_str(), 1, set.get());
        if (code != 0) return fail("write", code);
        std::printf("written: %s\n", message(code).c_str());
        return 0;
    }
    if (what == "init" && a.size() == 1) {
        auto set = load(a[0], &rc);
        if (rc != 0) return rc;
        const short code = srvTav_ItiVvDat_InitWt(set.get());
        if (code != 0) return fail("initial write", code);
        std::printf("initial write: %s\n", message(code).c_str());
        return 0;
    }
    if (what == "list" && a.size() == 1) {
        auto set = load(a[0], &rc);
        return rc != 0 ? rc : cmd_list(set.get());
    }
    return usage_error();
}

}  // namespace tavhost
