// Terminal commands for positioning tables: `tav pos ...`. A table lives in
// a ".k7l" file between commands; every command loads it, works on it and
// saves it again when it changed it.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "host/console.h"

namespace tavhost {

namespace {

std::atomic<ItiDatSet*> g_running{nullptr};

// Ctrl-C asks the running transfer to stop, as the loader's cancel button does.
void on_interrupt(int) {
    if (ItiDatSet* s = g_running.load()) s->nCancel = TAV_E_CANCELLED;
}

void on_progress(void*, unsigned msg, uintptr_t rate, intptr_t) {
    if (msg != TAV_WM_PROGRESS) return;
    const int filled = static_cast<int>(rate) / 5;
    std::fprintf(stderr, "\r[%-20.*s] %3u%%", filled, "####################", static_cast<unsigned>(rate));
    if (rate >= 100) std::fputc('\n', stderr);
}

int fail(const char* step, int code) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %d  %s\n", step, code, message(code).c_str());
    return 1;
}

bool number(const std::string& text, double* out) {
    char* end = nullptr;
    *out = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

int load(const std::string& file, ItiDatSet* set) {
    const int rc = srvTav_ItiDatFil_Rd(file.c_str(), set);
    return rc == 0 ? 0 : fail("load", rc);
}

int save(const std::string& file, ItiDatSet* set) {
    const int rc = srvTav_ItiDat_ComWt(file.c_str(), nullptr, 0, set);
    return rc == 0 ? 0 : fail("save", rc);
}

void show(ItiDatSet* set) {
    char line[2200];
    int count = 0;
    for (int i : {1, 2, 3, 9, 10})
        if (srvTav_ItiDat_Ctl_Inf_Rd(set, i, &count, line) == 0) std::printf("%s\n", to_utf8(line).c_str());
    auto rec = std::make_unique<ItiDatPrintData>();
    srvTav_ItiDatPrint_mak(set, rec.get());
    std::printf("%s\n%s\n", to_utf8(rec->szColumnTitle1).c_str(), to_utf8(rec->szColumnTitle2).c_str());
    for (int i = 0; i < rec->nLineCount && i < 99; ++i)
        std::printf("%s%s\n", to_utf8(rec->szPointLine[i]).c_str(), set->point[i].nChgFlag ? "  *" : "");
}

// The table as one JSON document.
void show_json(ItiDatSet* set) {
    std::printf("{\"file\": %s, \"amp\": %s, \"read_date\": %s, \"model\": %d, \"stop_pos_dp\": %u, "
                "\"stop_time_dp\": %u, \"comment\": %s, \"points\": [",
                json_text(to_utf8(set->szFileName)).c_str(), json_text(to_utf8(set->szAmpNo)).c_str(),
                json_text(to_utf8(set->szReadDate)).c_str(), static_cast<int>(set->nModel),
                static_cast<unsigned>(set->wStopPosDp), static_cast<unsigned>(set->wStopTimeDp),
                json_text(to_utf8(set->szComment)).c_str());
    for (int i = 0; i < set->nPointCount && i < 99; ++i) {
        const ItiDatPoint& p = set->point[i];
        std::printf("%s\n  {\"no\": %d, \"cmd_mode\": %d, \"step_mode\": %d, \"stop_pos\": %s, \"speed\": %s, "
                    "\"stop_timer\": %s, \"m_code\": %d, \"m_valid\": %d, \"m_timing\": %d, \"changed\": %d}",
                    i == 0 ? "" : ",", i + 1, static_cast<int>(p.nCmdMode), static_cast<int>(p.nStepMode),
                    json_number(p.dStopPos).c_str(), json_number(p.dSpeed).c_str(),
                    json_number(p.dStopTimer).c_str(), static_cast<int>(p.nMCode), static_cast<int>(p.nMValid),
                    static_cast<int>(p.nMTiming), static_cast<int>(p.nChgFlag));
    }
    std::printf("\n]}\n");
}

// A transfer with the progress bar and Ctrl-C.
int transfer(ItiDatSet* set, bool write, int all, const std::string& amp) {
    TavWindow window{on_progress, nullptr};
    srvTav_SetProgressRateHwnd(&window);
    set->nCancel = 0;
    g_running = set;
    std::signal(SIGINT, on_interrupt);
    const int rc = write ? srvTav_ItiDat_ComWt(nullptr, amp.c_str(), all, set)
                         : srvTav_ItiDat_ComRd(nullptr, amp.c_str(), set);
    std::signal(SIGINT, SIG_DFL);
    g_running = nullptr;
    srvTav_SetProgressRateHwnd(nullptr);
    if (rc != 0) {
        for (int i = 0; i < 99; ++i)
            if (set->point[i].nStatus != 0)
                std::fprintf(stderr, "point %d: %s\n", i + 1, message(set->point[i].nStatus).c_str());
        return fail(write ? "write" : "read", rc);
    }
    return 0;
}

// The nine values of a point: cmd step pos speed timer mcode mvalid mtiming.
bool point_values(const std::vector<std::string>& a, size_t from, double v[8]) {
    if (a.size() != from + 8) return false;
    for (int i = 0; i < 8; ++i)
        if (!number(a[from + i], &v[i])) return false;
    return true;
}

}  // namespace

const char* pos_usage() {
    return "  pos create FILE [MODEL]      new table from the template of a model number (default 2)\n"
           "  pos show FILE                the table and its description\n"
           "  pos set|insert FILE NO CMD STEP POS SPEED TIMER MCODE MVALID MTIMING\n"
           "  pos reset FILE NO            reset one point\n"
           "  pos dp FILE POSDP TIMEDP     move the decimal points\n"
           "  pos comment FILE TEXT        set the comment\n"
           "  pos read FILE AMP            read the table of amplifier entry AMP into FILE\n"
           "  pos write FILE AMP [all]     send the changed (or all) points\n"
           "  pos point STATION NO         read one point live\n"
           "  pos export FILE OUT.csv      CSV export\n";
}

int run_pos_command(const std::string& command, const std::vector<std::string>& args) {
    if (command != "pos") return -1;
    if (args.size() < 2) {
        std::fputs(pos_usage(), stderr);
        return 2;
    }
    const std::string& sub = args[0];
    const std::string& file = args[1];
    auto set = std::make_unique<ItiDatSet>();
    ItiDatSet* s = set.get();
    double v[8];
    if (sub == "create") {
        const int rc = srvTav_ItiDatFil_Create(args.size() > 2 ? std::atoi(args[2].c_str()) : 2, s);
        if (rc != 0) return fail("create", rc);
        return save(file, s);
    }
    if (sub == "point") {
        if (args.size() != 3) return 2;
        int rc = srvTav_Wyn_Net_Open();
        if (rc != 0) return fail("line open", rc);
        ItiNoDatInfo info{};
        rc = srvTav_ItiNoDat_Rd(std::atoi(file.c_str()), std::atoi(args[2].c_str()), &info);
        if (rc != 0) return fail("point", rc);
        if (json_output()) {
            std::printf("{\"station\": %d, \"no\": %d, \"cmd_mode\": %d, \"step_mode\": %d, \"stop_pos\": %s, "
                        "\"speed\": %s, \"stop_timer\": %s, \"m_code\": %d}\n",
                        std::atoi(file.c_str()), (info.byDataNo >> 4) * 10 + (info.byDataNo & 0x0F),
                        static_cast<int>(info.nCmdMode), static_cast<int>(info.nStepMode),
                        json_number(info.dStopPos).c_str(), json_number(info.dSpeed).c_str(),
                        json_number(info.dStopTimer).c_str(), static_cast<int>(info.nMCode));
            return 0;
        }
        std::printf("%s %s %s %s %s %s %s\n", info.szDataNo, to_utf8(info.szCmdMode).c_str(),
                    to_utf8(info.szStepMode).c_str(), info.szStopPos, info.szSpeed, info.szStopTimer, info.szMCode);
        return 0;
    }
    if (sub == "read") {
        if (args.size() != 3) return 2;
        if (int rc = transfer(s, false, 0, args[2])) return rc;
        if (int rc = save(file, s)) return rc;
        if (json_output()) show_json(s);
        return 0;
    }
    if (int rc = load(file, s)) return rc;
    if (sub == "show") {
        if (json_output()) show_json(s);
        else show(s);
        return 0;
    }
    if (sub == "export") {
        if (args.size() != 3) return 2;
        const int rc = srvTav_ItiDatCsvType_Wt(args[2].c_str(), s);
        return rc == 0 ? 0 : fail("export", rc);
    }
    if (sub == "write") {
        if (args.size() < 3) return 2;
        // Flags do not survive a file: "all" is the way to resend a loaded table.
        if (int rc = transfer(s, true, args.size() > 3 && args[3] == "all", args[2])) return rc;
        return 0;
    }
    int rc = 0;
    if ((sub == "set" || sub == "insert") && args.size() == 11 && point_values(args, 3, v)) {
        const int no = std::atoi(args[2].c_str());
        auto fn = sub == "set" ? srvTav_ItiDat_Chg : srvTav_ItiDat_Insert;
        rc = fn(s, no, (int)v[0], (int)v[1], v[2], v[3], v[4], (int)v[5], (int)v[6], (int)v[7]);
    } else if (sub == "reset" && args.size() == 3) {
        rc = srvTav_ItiDat_Init(s, std::atoi(args[2].c_str()));
    } else if (sub == "dp" && args.size() == 4) {
        rc = srvTav_ItiAtt_Chg(s, (unsigned short)std::atoi(args[2].c_str()));
        if (rc == 0) rc = srvTav_ItiAtt_Chg2(s, (unsigned short)std::atoi(args[3].c_str()));
    } else if (sub == "comment" && args.size() == 3) {
        rc = srvTav_ItiDat_FileCmt_Wt(s, args[2].c_str());
    } else {
        std::fputs(pos_usage(), stderr);
        return 2;
    }
    if (rc != 0) return fail(sub.c_str(), rc);
    return save(file, s);
}

}  // namespace tavhost
