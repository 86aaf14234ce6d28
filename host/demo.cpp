// The guided loader session: what a user sees first. It works on the
// installation folder ($WYN_HOME, or --home), whose sample line is the
// built-in simulator, through the library's C interface only (and the
// component's own close for a line the session opened).
//
// Steps: the station list, identification, the extended parameters of the
// L-type amplifier (read, edit two pages, write, save, CSV, listing), its
// positioning table, the VV table of the V-type amplifier, a positioning run
// with its live status, and putting the devices back as they were found, so
// that the next session starts from the same state. Each step is timed and
// its traffic counted; a table closes the session.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Tav_acs.h"
#include "host/cli.h"
#include "host/core/numbers.h"
#include "wynapi/wynapi.h"

namespace tavhost {

namespace {

namespace fs = std::filesystem;

// Ctrl-C: the host core's interrupt scope writes the cancel code into the set
// whose transfer runs (the library stops at its next exchange with -31) and
// lets the session put the devices back; a second Ctrl-C cancels that too.

// ------------------------------------------------------------ steps
struct Row {
    std::string operation;
    long long exchanges = 0;
    long long bytes = 0;
    double seconds = 0;
    int result = 0;
};

struct Session {
    fs::path out;
    bool keep = false;
    core::Lang lang = core::Lang::En;
    std::vector<Row> rows;
};

WynStatistics stats_now() {
    WynStatistics s{};
    Wyn_Stat_Get(&s);
    return s;
}

void heading(const std::string& text) { std::printf("\n== %s\n", text.c_str()); }

// A host text of the session's language.
std::string T(core::Lang lang, Msg id, const std::vector<std::string>& args = {}) { return core::say(lang, id, args); }

// printf into a string: numbers are laid out before the words around them are translated.
template <class... A>
std::string fmt(const char* format, A... args) {
    char text[256];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

// Runs one step: counts its exchanges, bytes and time and prints its result.
template <class Op>
int step(Session& s, const std::string& operation, Op op) {
    const WynStatistics before = stats_now();
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = op();
    const auto t1 = std::chrono::steady_clock::now();
    const WynStatistics after = stats_now();
    Row row;
    row.operation = operation;
    row.exchanges = after.exchanges - before.exchanges;
    row.bytes = (after.bytesOut - before.bytesOut) + (after.bytesIn - before.bytesIn);
    row.seconds = std::chrono::duration<double>(t1 - t0).count();
    row.result = rc;
    s.rows.push_back(row);
    if (rc != 0) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: %d  %s\n", operation.c_str(), rc, message(rc).c_str());
    }
    return rc;
}

// A transfer with the one progress bar of tav and Ctrl-C mapped to the set's cancel field.
template <class SetT, class Op>
int transfer(SetT* set, Op op) {
    return tavhost::transfer(cancel_field(set), op);
}

std::string file_in(const Session& s, const char* name) { return (s.out / name).string(); }

void summary(const Session& s) {
    const core::Lang l = s.lang;
    heading(T(l, Msg::DemoHSummary));
    std::printf("  %s %s %s %s  %s\n", core::pad_right(T(l, Msg::DemoColOperation), 42).c_str(),
                core::pad_left(T(l, Msg::DemoColExchanges), 9).c_str(), core::pad_left(T(l, Msg::DemoColBytes), 9).c_str(),
                core::pad_left(T(l, Msg::DemoColTime), 9).c_str(), T(l, Msg::DemoColResult).c_str());
    long long ex = 0, by = 0;
    double sec = 0;
    for (const Row& r : s.rows) {
        std::printf("  %s %9lld %9lld %9.3f  %d %s\n", core::pad_right(r.operation, 42).c_str(), r.exchanges, r.bytes,
                    r.seconds, r.result, message(r.result).c_str());
        ex += r.exchanges;
        by += r.bytes;
        sec += r.seconds;
    }
    std::printf("  %s %9lld %9lld %9.3f\n", core::pad_right(T(l, Msg::DemoTotal), 42).c_str(), ex, by, sec);
}

// ------------------------------------------------------------ identification
std::string family_name(core::Lang l, int family) {
    switch (family) {
        case 0x30: return "KESTA7";
        case 0x40: return "KESTA7 Mini";
        case 0x50: return T(l, Msg::ServoOperator);
        default: return T(l, Msg::DemoUnknownDevice);
    }
}

int list_stations(core::Lang l, std::vector<int>& stations) {
    char selected[16] = "";
    int rc = srvTav_Amp_Rd(selected);
    if (rc != 0) return rc;
    std::printf("%s\n", T(l, Msg::DemoSelected, {selected}).c_str());
    for (int entry = 1; entry <= 50; ++entry) {
        int count = 0, station = 0, flag = 0;
        char name[512] = "";
        if (srvTav_AmpData_Rd(entry, 0, &count, &station, name, &flag) != 0 || entry > count) break;
        std::printf("%s\n", T(l, Msg::DemoEntryLine, {fmt("%2d", entry), fmt("%3d", station),
                                                      core::pad_right(flag ? T(l, Msg::DemoConnected) : "-", 9), to_utf8(name)})
                                 .c_str());
        if (station != 999) stations.push_back(station);
    }
    return 0;
}

// Identifies one station: an amplifier answers with its model and motor; the
// servo operator at station 0 answers without amplifier texts.
int identify(core::Lang l, int station) {
    AmpIdentification id{};
    const int rc = srvTav_SysCondition_Rd(station, &id);
    if (rc != 0) {
        std::printf("%s\n", T(l, Msg::DemoNoAnswer, {fmt("%3d", station), std::to_string(rc), message(rc)}).c_str());
        return rc;
    }
    if (id.byFamily != 0x30 && id.byFamily != 0x40) {
        std::printf("%s\n", T(l, Msg::DemoStationLine, {fmt("%3d", station), T(l, station == 0 ? Msg::ServoOperator
                                                                                                  : Msg::DemoNotAmplifier)})
                                 .c_str());
        return 0;
    }
    std::printf("%s\n", T(l, Msg::DemoStationLine, {fmt("%3d", station), family_name(l, id.byFamily)}).c_str());
    std::printf("%s\n", T(l, Msg::DemoModelLine, {to_utf8(id.szModelName), to_utf8(id.szAmpCapacity), to_utf8(id.szAmpVoltage)}).c_str());
    std::printf("%s\n", T(l, Msg::DemoMotorLine, {to_utf8(id.szMotorName), to_utf8(id.szMotorSpeed), to_utf8(id.szEncoder)}).c_str());
    return 0;
}

// ------------------------------------------------------------ extended parameters
struct ParamEdit {
    int no;
    double value;
    double before = 0;
};

void show_param(core::Lang l, NewParaSet* set, int no) {
    NewParaRecord r;
    if (srvTav_NewPara_Dat_Rd(set, no, &r) != 0) return;
    // 99 parameters to a page: PA1 holds 1..99, PA2 100..198, PA3 199..297.
    std::printf("    PA%d_%02d  %s %12s  [%s .. %s]%s\n", (no - 1) / 99 + 1, (no - 1) % 99 + 1,
                core::pad_right(to_utf8(r.szName), 36).c_str(), core::real_text(r.dValue).c_str(),
                core::real_text(r.dMin).c_str(), core::real_text(r.dMax).c_str(),
                r.nChgFlag ? T(l, Msg::DemoChangedMark).c_str() : "");
}

int print_listing(core::Lang l, NewParaSet* set, int lines) {
    auto page = std::make_unique<NewParaPrint>();
    const int rc = srvTav_NewParaPrint_Mak(set, page.get());
    if (rc != 0) return rc;
    std::printf("    %s\n    %s\n    %s\n", to_utf8(page->szFileTitle).c_str(), to_utf8(page->szAmpType).c_str(),
                to_utf8(page->szHeader).c_str());
    for (int i = 0; i < page->nLines && i < lines; ++i) std::printf("    %s\n", to_utf8(page->szLine[i]).c_str());
    std::printf("%s\n", T(l, Msg::DemoLinesInAll, {std::to_string(page->nLines)}).c_str());
    return 0;
}

// ------------------------------------------------------------ positioning tables
void show_point(core::Lang l, ItiDatSet* set, int no) {
    const ItiDatPoint& p = set->point[no - 1];
    std::printf("%s\n", T(l, Msg::DemoPointLine,
                          {fmt("%2d", no), p.nCmdMode ? "INC" : "ABS", std::to_string(p.nStepMode),
                           fmt("%10.*f", static_cast<int>(set->wStopPosDp), static_cast<double>(p.dStopPos)),
                           fmt("%8.2f", static_cast<double>(p.dSpeed)), fmt("%5.2f", static_cast<double>(p.dStopTimer)),
                           fmt("%02d", static_cast<int>(p.nMCode)), p.nChgFlag ? T(l, Msg::DemoChangedMark) : ""})
                             .c_str());
}

void show_vv_point(core::Lang l, ItiVvDatSet* set, int no) {
    const ItiVvDatPoint& p = set->point[no - 1];
    std::printf("%s\n", T(l, Msg::DemoVvPointLine,
                          {fmt("%2d", no), p.nCmdMode ? "INC" : "ABS", std::to_string(p.nStepMode),
                           fmt("%10.*f", static_cast<int>(set->wStopPosDp), static_cast<double>(p.dStopPos)),
                           fmt("%8.2f", static_cast<double>(p.dSpeed)), fmt("%6.1f", static_cast<double>(p.dAccelTime)),
                           fmt("%6.1f", static_cast<double>(p.dDecelTime)), fmt("%5.2f", static_cast<double>(p.dStopTimer)),
                           p.nChgFlag ? T(l, Msg::DemoChangedMark) : ""})
                             .c_str());
}

int change_point(ItiDatSet* set, int no, const ItiDatPoint& v) {
    return srvTav_ItiDat_Chg(set, no, v.nCmdMode, v.nStepMode, v.dStopPos, v.dSpeed, v.dStopTimer, v.nMCode,
                             v.nMValid, v.nMTiming);
}

int change_vv_point(ItiVvDatSet* set, int no, const ItiVvDatPoint& v) {
    return srvTav_ItiVvDat_Chg(set, no, v.nCmdMode, v.nStepMode, v.dStopPos, v.dSpeed, v.dAccelTime, v.dDecelTime,
                               v.dStopTimer, v.nMCode, v.nMValid, v.nMTiming);
}

// ------------------------------------------------------------ the positioning run
int positioning_run(core::Lang l, int station, int point) {
    unsigned char record[17] = {};
    int rc = srvTav_Open_OffONline_Close(0, record);  // the selected entry goes offline
    if (rc != 0) return rc;
    std::printf("%s\n", T(l, Msg::DemoOffline).c_str());
    rc = srvTav_Wyn_Net_Open();
    unsigned char status[8] = {};
    int ready = 0;
    if (rc == 0) rc = srvTav_RunOnOFF_ManuSpeedSel(station, 1, 500, status);
    if (rc == 0) {
        std::printf("%s\n", T(l, Msg::DemoRunOn, {std::to_string(point)}).c_str());
        rc = srvTav_PlaceRunOff(station, point, 1, status, &ready);
    }
    if (rc == 0) {
        std::printf("    %s %s %s %s %s %s  %s\n", core::pad_right(T(l, Msg::ColPoint), 5).c_str(),
                    core::pad_right(T(l, Msg::ColMode), 4).c_str(), core::pad_right(T(l, Msg::ColStep), 10).c_str(),
                    core::pad_left(T(l, Msg::ColPosition), 12).c_str(), core::pad_left(T(l, Msg::ColSpeed), 10).c_str(),
                    core::pad_left(T(l, Msg::ColToGo), 12).c_str(), T(l, Msg::ColState).c_str());
        PositioningRunStatus run{};
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            rc = srvTav_ItiDatRunStatus_Rd(station, &run);
            if (rc != 0) break;
            static const Msg kState[] = {Msg::RunIdle, Msg::RunRunning, Msg::RunArrived, Msg::RunCancelled};
            const int code = run.nCode;
            std::printf("    %s %s %s %12s %10s %12s  %s\n", core::pad_right(run.szDataNo, 5).c_str(),
                        core::pad_right(to_utf8(run.szCmdMode), 4).c_str(), core::pad_right(to_utf8(run.szStepMode), 10).c_str(),
                        run.szValue1, run.szValue2, run.szValue3,
                        code >= 0 && code <= 3 ? T(l, kState[code]).c_str() : run.szCode);
            std::fflush(stdout);
            if (code == 2 || code == 3 || code == 0) break;
            if (core::interrupted()) {
                srvTav_PlaceRunOff(station, 0, 0, status, &ready);
                rc = TAV_E_CANCELLED;
                break;
            }
            if (std::chrono::steady_clock::now() > until) {
                srvTav_PlaceRunOff(station, 0, 0, status, &ready);
                rc = TAV_E_NOT_COMPLETED;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
    }
    // Run off and back online whatever happened, so the amplifier is left as found.
    srvTav_RunOnOFF_ManuSpeedSel(station, 0, 0, status);
    Wyn_Net_Close();
    const int back = srvTav_Open_OffONline_Close(1, record);
    if (back == 0) std::printf("%s\n", T(l, Msg::DemoRunBack).c_str());
    return rc != 0 ? rc : back;
}

// The VV transfers and the test-run switch work on the entry selected in
// servo.con: selected for the call, and servo.con put back byte for byte when
// the guard ends.
class Selection {
public:
    int select(int entry) {
        core::Target target;
        target.entry = entry;
        return guard_.select(target).code;
    }

private:
    core::SelectionGuard guard_;
};

// ------------------------------------------------------------ the session
// The output folder, made when missing.
int prepare_output(Session& s) {
    std::error_code ec;
    fs::create_directories(s.out, ec);
    s.out = fs::absolute(s.out, ec);
    if (!fs::is_directory(s.out)) {
        std::fprintf(stderr, "demo: cannot create the output folder %s: %s\n", s.out.string().c_str(),
                     ec ? ec.message().c_str() : "not a folder");
        return 1;
    }
    return 0;
}

int finish(Session& s, int rc) {
    summary(s);
    if (rc != 0) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", T(s.lang, Msg::DemoStopped, {std::to_string(rc), message(rc)}).c_str());
        return exit_status(rc);
    }
    std::printf("\n%s\n", T(s.lang, Msg::DemoComplete, {s.out.string()}).c_str());
    return 0;
}

int run_session(Session& s) {
    char version[12];
    srvTav_GetVersion(version);
    const core::Lang l = s.lang;
    std::printf("%s\n", T(l, Msg::DemoTitle, {version}).c_str());
    const char* home = std::getenv("WYN_HOME");
    std::printf("%s\n", T(l, Msg::DemoInstallation, {home != nullptr && *home != '\0' ? home : T(l, Msg::DemoNoHome)}).c_str());
    std::printf("%s\n", T(l, Msg::DemoOutput, {s.out.string()}).c_str());

    auto para = std::make_unique<NewParaSet>();
    auto iti = std::make_unique<ItiDatSet>();
    auto vv = std::make_unique<ItiVvDatSet>();
    std::vector<ParamEdit> edits{{8, 123}, {105, 250}};
    ItiDatPoint itiBefore[2] = {};
    ItiVvDatPoint vvBefore{};
    bool paraWritten = false, itiWritten = false, vvWritten = false;
    Selection selection;

    const int failed = [&]() -> int {
        // 1. The line and its devices.
        heading(T(l, Msg::DemoHStations));
        std::vector<int> stations;
        int rc = step(s, T(l, Msg::DemoSStations), [&] { return list_stations(l, stations); });
        if (rc != 0) {
            std::printf("%s\n", T(l, Msg::DemoNoList).c_str());
            return rc;
        }

        heading(T(l, Msg::DemoHLocks));
        rc = step(s, T(l, Msg::DemoSLocks), [&] {
            int port = 0, state = 0;
            int code = srvTav_ComPortLockUnlockCheck(&port);
            if (code == TAV_E_LOCKED) {
                std::printf("%s\n", T(l, Msg::DemoPortLocked, {std::to_string(port)}).c_str());
                return code;
            }
            if (code == 0) code = srvTav_TraceLockUnlockCheck(&state);
            if (code == TAV_E_LOCKED) {
                std::printf("%s\n", T(l, Msg::DemoTraceHeld, {std::to_string(port)}).c_str());
                return code;
            }
            if (code == 0) std::printf("%s\n", T(l, Msg::DemoFree, {std::to_string(port)}).c_str());
            return code;
        });
        if (rc != 0) return rc;

        heading(T(l, Msg::DemoHIdentify));
        rc = step(s, T(l, Msg::DemoSIdentify), [&] {
            int code = srvTav_Wyn_Net_Open();
            if (code != 0) return code;
            code = identify(l, 0);
            for (int station : stations)
                if (code == 0) code = identify(l, station);
            Wyn_Net_Close();
            return code;
        });
        if (rc != 0) return rc;

        // 2. Extended parameters of the L-type amplifier (entry 1).
        heading(T(l, Msg::DemoHExtRead));
        rc = step(s, T(l, Msg::DemoSExtRead), [&] {
            return transfer(para.get(), [&] { return srvTav_NewPara_ComRd(nullptr, "1", 0, para.get(), 0, 0); });
        });
        if (rc != 0) return rc;
        std::printf("%s\n", T(l, Msg::DemoExtReadDone, {std::to_string(para->nProgressDone), para->szAmpNo,
                                                        to_utf8(para->szReadDate)}).c_str());

        heading(T(l, Msg::DemoHExtEdit));
        rc = step(s, T(l, Msg::DemoSExtEdit), [&] {
            for (ParamEdit& e : edits) {
                e.before = para->para[e.no - 1].dValue;
                std::printf("%s\n", T(l, Msg::DemoBefore).c_str());
                show_param(l, para.get(), e.no);
                const int code = srvTav_NewPara_Dat_Chg(para.get(), e.no, e.value);
                if (code != 0) return code;
                std::printf("%s\n", T(l, Msg::DemoAfter).c_str());
                show_param(l, para.get(), e.no);
            }
            return 0;
        });
        if (rc != 0) return rc;

        heading(T(l, Msg::DemoHExtWrite));
        rc = step(s, T(l, Msg::DemoSExtWrite), [&] {
            return transfer(para.get(), [&] { return srvTav_NewPara_ComWt(nullptr, "1", 0, 0, para.get()); });
        });
        if (rc != 0) return rc;
        paraWritten = true;
        std::printf("%s\n", T(l, Msg::DemoWritten, {message(0)}).c_str());

        heading(T(l, Msg::DemoHExtSave));
        const std::string k7p = file_in(s, "kesta7-L.k7p"), paraCsv = file_in(s, "kesta7-L-parameters.csv");
        rc = step(s, T(l, Msg::DemoSExtSave), [&] {
            srvTav_NewPara_FileName_Chg(para.get(), k7p.c_str());
            srvTav_NewPara_FileCmt_Wt(para.get(), "Saved by the loader session");
            int code = srvTav_NewPara_Wt(k7p.c_str(), para.get());
            if (code == 0) code = srvTav_NewParaCsvType_Wt(paraCsv.c_str(), para.get());
            return code;
        });
        if (rc != 0) return rc;
        std::printf("  %s\n  %s\n", k7p.c_str(), paraCsv.c_str());

        heading(T(l, Msg::DemoHListing));
        rc = step(s, T(l, Msg::DemoSListing), [&] { return print_listing(l, para.get(), 6); });
        if (rc != 0) return rc;

        // 3. The positioning table of the same amplifier.
        heading(T(l, Msg::DemoHPosRead));
        rc = step(s, T(l, Msg::DemoSPosRead), [&] {
            // The positioning and VV transfers work on the entry selected in servo.con.
            const int code = selection.select(1);
            if (code != 0) return code;
            return transfer(iti.get(), [&] { return srvTav_ItiDat_ComRd(nullptr, "1", iti.get()); });
        });
        if (rc != 0) return rc;
        std::printf("%s\n", T(l, Msg::DemoPosReadDone, {std::to_string(iti->nPointCount),
                                                        std::to_string(iti->wStopPosDp)}).c_str());
        for (int no = 1; no <= 3; ++no) show_point(l, iti.get(), no);

        heading(T(l, Msg::DemoHPosEdit));
        itiBefore[0] = iti->point[1];
        itiBefore[1] = iti->point[2];
        rc = step(s, T(l, Msg::DemoSPosEdit), [&] {
            int code = srvTav_ItiDat_Chg(iti.get(), 2, 0, 0, 2500.0, 150.0, 0.5, 12, 1, 0);
            // Point 3 moves by its distance (INC), slowly enough to watch the run.
            if (code == 0) code = srvTav_ItiDat_Chg(iti.get(), 3, 1, 0, 1750.0, 10.0, 0.0, 0, 0, 0);
            if (code == 0) code = srvTav_ItiDat_FileCmt_Wt(iti.get(), "Edited by the loader session");
            return code;
        });
        if (rc != 0) return rc;
        for (int no = 1; no <= 3; ++no) show_point(l, iti.get(), no);

        heading(T(l, Msg::DemoHPosWrite));
        rc = step(s, T(l, Msg::DemoSPosWrite), [&] {
            return transfer(iti.get(), [&] { return srvTav_ItiDat_ComWt(nullptr, "1", 0, iti.get()); });
        });
        if (rc != 0) return rc;
        itiWritten = true;
        std::printf("%s\n", T(l, Msg::DemoWritten, {message(0)}).c_str());

        const std::string k7l = file_in(s, "kesta7-L.k7l"), itiCsv = file_in(s, "kesta7-L-positioning.csv");
        rc = step(s, T(l, Msg::DemoSPosSave), [&] {
            int code = srvTav_ItiDatFil_Wt(k7l.c_str(), iti.get());
            if (code == 0) code = srvTav_ItiDatCsvType_Wt(itiCsv.c_str(), iti.get());
            return code;
        });
        if (rc != 0) return rc;
        std::printf("  %s\n  %s\n", k7l.c_str(), itiCsv.c_str());

        // 4. The VV table of the V-type amplifier (entry 2).
        heading(T(l, Msg::DemoHVvRead));
        rc = step(s, T(l, Msg::DemoSVvRead), [&] {
            const int code = selection.select(2);
            if (code != 0) return code;
            return transfer(vv.get(), [&] { return srvTav_ItiVvDat_ComRd(nullptr, "2", vv.get()); });
        });
        if (rc != 0) return rc;
        std::printf("%s\n", T(l, Msg::DemoVvReadDone, {std::to_string(vv->nPointCount)}).c_str());
        for (int no = 1; no <= 2; ++no) show_vv_point(l, vv.get(), no);

        heading(T(l, Msg::DemoHVvEdit));
        vvBefore = vv->point[1];
        rc = step(s, T(l, Msg::DemoSVvEdit), [&] {
            const int code = srvTav_ItiVvDat_Chg(vv.get(), 2, 0, 0, 4200.0, 80.0, 25.0, 30.0, 0.25, 5, 1, 1);
            return code != 0 ? code : srvTav_ItiVvDat_FileCmt_Wt(vv.get(), "Edited by the loader session");
        });
        if (rc != 0) return rc;
        for (int no = 1; no <= 2; ++no) show_vv_point(l, vv.get(), no);

        heading(T(l, Msg::DemoHVvWrite));
        rc = step(s, T(l, Msg::DemoSVvWrite), [&] {
            return transfer(vv.get(), [&] { return srvTav_ItiVvDat_ComWt(nullptr, "2", 0, vv.get()); });
        });
        if (rc != 0) return rc;
        vvWritten = true;
        std::printf("%s\n", T(l, Msg::DemoWritten, {message(0)}).c_str());

        const std::string m7v = file_in(s, "kesta7mini-V.m7v"), vvCsv = file_in(s, "kesta7mini-V-vv.csv");
        rc = step(s, T(l, Msg::DemoSVvSave), [&] {
            int code = srvTav_ItiVvDatFil_Wt(m7v.c_str(), vv.get());
            if (code == 0) code = srvTav_ItiVvDatCsvType_Wt(vvCsv.c_str(), vv.get());
            return code;
        });
        if (rc != 0) return rc;
        std::printf("  %s\n  %s\n", m7v.c_str(), vvCsv.c_str());

        // 5. A positioning run on the edited point, with its live status.
        heading(T(l, Msg::DemoHRun));
        rc = step(s, T(l, Msg::DemoSRun), [&] {
            const int code = selection.select(1);
            return code != 0 ? code : positioning_run(l, 1, 3);
        });
        if (rc != 0) return rc;
        return 0;
    }();

    // 6. The devices as they were found, after a failure or Ctrl-C too, so
    // that the next session finds them as this one did. A second Ctrl-C
    // stops this as well.
    if (s.keep || !(paraWritten || itiWritten || vvWritten)) return failed;
    heading(T(l, Msg::DemoHRestore));
    if (core::interrupted()) {
        core::reset_interrupt();
        std::printf("%s\n", T(l, Msg::DemoInterrupted).c_str());
    }
    int rc = 0;
    if (paraWritten)
        rc = step(s, T(l, Msg::DemoSRestoreExt), [&] {
            for (const ParamEdit& e : edits) {
                const int code = srvTav_NewPara_Dat_Chg(para.get(), e.no, e.before);
                if (code != 0) return code;
            }
            return transfer(para.get(),
                            [&] { return srvTav_NewPara_ComWt(nullptr, "1", 0, 0, para.get()); });
        });
    if (rc == 0 && itiWritten)
        rc = step(s, T(l, Msg::DemoSRestorePos), [&] {
            int code = selection.select(1);
            if (code == 0) code = change_point(iti.get(), 2, itiBefore[0]);
            if (code == 0) code = change_point(iti.get(), 3, itiBefore[1]);
            if (code != 0) return code;
            return transfer(iti.get(), [&] { return srvTav_ItiDat_ComWt(nullptr, "1", 0, iti.get()); });
        });
    if (rc == 0 && vvWritten)
        rc = step(s, T(l, Msg::DemoSRestoreVv), [&] {
            int code = selection.select(2);
            if (code == 0) code = change_vv_point(vv.get(), 2, vvBefore);
            if (code != 0) return code;
            return transfer(vv.get(), [&] { return srvTav_ItiVvDat_ComWt(nullptr, "2", 0, vv.get()); });
        });
    if (rc == 0) std::printf("%s\n", T(l, Msg::DemoRestored).c_str());
    return failed != 0 ? failed : rc;
}

}  // namespace

void add_demo_command(CLI::App& app, Ctx& ctx) {
    auto s = std::make_shared<Session>();
    auto out = std::make_shared<std::string>("tav-session");
    CLI::App* demo = app.add_subcommand("demo", ctx.t(Msg::HelpDemo));
    demo->add_option("--out", *out, "folder for the files of the session (default ./tav-session)");
    demo->add_flag("--keep", s->keep, "leave the edited values on the devices");
    demo->callback([&ctx, s, out] {
        ctx.run = [&ctx, s, out] {
            s->out = *out;
            s->lang = ctx.lang;
            if (int rc = prepare_output(*s)) return rc;
            // --json: the session's report goes to stderr, its summary rows are the document.
            std::fflush(stdout);
            const int savedStdout = ctx.json ? ::dup(STDOUT_FILENO) : -1;
            if (savedStdout >= 0) ::dup2(STDERR_FILENO, STDOUT_FILENO);
            Wyn_Stat_Reset();
            int rc = 0;
            try {
                rc = run_session(*s);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "demo: %s\n", e.what());
                rc = TAV_E_MEMORY_ERROR;
            }
            rc = finish(*s, rc);
            std::fflush(stdout);
            if (savedStdout >= 0) {
                ::dup2(savedStdout, STDOUT_FILENO);
                ::close(savedStdout);
            }
            Json rows = Json::array();
            for (const Row& r : s->rows)
                rows.push_back({{"operation", r.operation}, {"exchanges", r.exchanges}, {"bytes", r.bytes},
                                {"seconds", r.seconds}, {"result", r.result}});
            ctx.doc["out"] = s->out.string();
            ctx.doc["steps"] = rows;
            return rc;
        };
    });
}

}  // namespace tavhost
