// Terminal commands for the connected amplifier: identification, the
// online/offline switch, run on/off, jog, positioning start/cancel and the
// live status view.
//
// The library opens a line for the host (srvTav_Wyn_Net_Open) but offers no
// call to close it again; the commands that work on an opened line leave it
// open, and the line ends with the process. Each command is one process.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Tav_acs.h"
#include "host/console.h"

namespace tavhost {

namespace {

std::atomic<bool> g_interrupted{false};

void on_interrupt(int) { g_interrupted = true; }

// Prints a failed step with its catalogue message; the exit status is 1.
int fail(const char* step, int code) {
    std::fflush(stdout);  // keep the order of what was printed before
    std::fprintf(stderr, "%s: %d  %s\n", step, code, message(code).c_str());
    return 1;
}

std::string hex2(unsigned value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
    return text;
}

int report(const char* step, int code) {
    if (code != 0) return fail(step, code);
    std::printf("%s: %s\n", step, message(code).c_str());
    return 0;
}

bool parse_int(const std::string& text, long low, long high, int* out) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < low || v > high) return false;
    *out = static_cast<int>(v);
    return true;
}

// The station of the entry selected in servo.con, over a freshly opened line.
int open_selected(int* station) {
    int rc = srvTav_TargetAmpKyoku_Rd(station);
    if (rc != 0) return fail("station list", rc);
    rc = srvTav_Wyn_Net_Open();
    if (rc != 0) return fail("line open", rc);
    return 0;
}

void print_status_bytes(const unsigned char* status) {
    std::printf("STR1=0x%02X STR2=0x%02X\n", status[0], status[1]);
}

int cmd_identify(const std::vector<std::string>& args) {
    if (args.size() > 1) {
        std::fprintf(stderr, "identify: at most one station number\n");
        return 2;
    }
    int station = 0;
    std::string record;  // the raw record of the selected entry, as hexadecimal bytes
    if (args.empty()) {
        // Without a station the raw record of the selected entry comes first,
        // read over a line of its own.
        SysConditionRecord raw;
        std::memset(&raw, 0, sizeof raw);
        const int rc = srvTav_Open_SysCondition_Rd_Close(&raw);
        if (rc != 0) return fail("identification record", rc);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&raw);
        for (size_t i = 0; i < sizeof raw; ++i) record += (record.empty() ? "" : " ") + hex2(bytes[i]);
        if (!json_output()) std::printf("record: %s\n", record.c_str());
        int rc2 = srvTav_TargetAmpKyoku_Rd(&station);
        if (rc2 != 0) return fail("station list", rc2);
    } else if (!parse_int(args[0], 0, 248, &station)) {
        std::fprintf(stderr, "identify: station must be 0..248\n");
        return 2;
    }
    int rc = srvTav_Wyn_Net_Open();
    if (rc != 0) return fail("line open", rc);
    AmpIdentification id;
    std::memset(&id, 0, sizeof id);
    rc = srvTav_SysCondition_Rd(station, &id);
    if (rc != 0) return fail("identification", rc);

    if (json_output()) {
        std::printf("{\"station\": %d, \"family\": %d", station, id.byFamily);
        if (!record.empty()) std::printf(", \"record\": %s", json_text(record).c_str());
        const struct {
            const char* key;
            const char* text;
        } fields[] = {{"family_name", id.szFamilyName}, {"model", id.szModelName},
                      {"capacity", id.szAmpCapacity},   {"supply_voltage", id.szAmpVoltage},
                      {"extended_code", id.szExtCode},  {"motor", id.szMotorName},
                      {"motor_series", id.szMotorSeries}, {"motor_capacity", id.szMotorLabel},
                      {"motor_speed", id.szMotorSpeed}, {"encoder", id.szEncoder}};
        for (const auto& f : fields) std::printf(", \"%s\": %s", f.key, json_text(to_utf8(f.text)).c_str());
        std::printf("}\n");
        return 0;
    }
    std::printf("station:          %d\n", station);
    std::printf("family byte:      0x%02X\n", id.byFamily);
    if (id.byFamily == 0) {
        std::printf("(not a KESTA7 or KESTA7 Mini amplifier: no texts)\n");
        return 0;
    }
    const struct {
        const char* label;
        const char* text;
    } rows[] = {
        {"family", id.szFamilyName},         {"model", id.szModelName},
        {"capacity", id.szAmpCapacity},      {"supply voltage", id.szAmpVoltage},
        {"extended code", id.szExtCode},     {"motor", id.szMotorName},
        {"motor series", id.szMotorSeries},  {"motor capacity", id.szMotorLabel},
        {"motor speed", id.szMotorSpeed},    {"encoder", id.szEncoder},
    };
    for (const auto& r : rows) std::printf("%-17s %s\n", (std::string(r.label) + ":").c_str(), to_utf8(r.text).c_str());
    return 0;
}

int cmd_online_offline(int mode) {
    unsigned char record[17] = {};
    const int rc = srvTav_Open_OffONline_Close(mode, record);
    const char* step = mode == 1 ? "online" : "offline";
    if (rc != 0) return fail(step, rc);
    std::printf("%s: %s\n", step, message(rc).c_str());
    return 0;
}

int cmd_run(const std::vector<std::string>& args) {
    int on = 0, speed = 0;
    if (args.size() == 2 && args[0] == "on" && parse_int(args[1], 0, 0x7FFFFFFF, &speed)) {
        on = 1;
    } else if (!(args.size() == 1 && args[0] == "off")) {
        std::fprintf(stderr, "run: give 'on SPEED' or 'off'\n");
        return 2;
    }
    int station = 0;
    if (int rc = open_selected(&station)) return rc;
    unsigned char status[2] = {};
    const int rc = srvTav_RunOnOFF_ManuSpeedSel(station, on, speed, status);
    print_status_bytes(status);
    return report(on ? "run on" : "run off", rc);
}

int cmd_jog(const std::vector<std::string>& args) {
    if (args.size() != 1 || (args[0] != "+" && args[0] != "-")) {
        std::fprintf(stderr, "jog: give + or -\n");
        return 2;
    }
    int station = 0;
    if (int rc = open_selected(&station)) return rc;
    unsigned char status[2] = {};
    const int rc = srvTav_ManuPluse_Snd(station, args[0] == "+" ? 1 : 0, status);
    print_status_bytes(status);
    return report(args[0] == "+" ? "jog +" : "jog -", rc);
}

int cmd_place(int mode, const std::vector<std::string>& args) {
    int number = 0;
    if (mode == 1 && (args.size() != 1 || !parse_int(args[0], -0x7FFFFFFF, 0x7FFFFFFF, &number))) {
        std::fprintf(stderr, "start: give a positioning number 1..99\n");
        return 2;
    }
    int station = 0;
    if (int rc = open_selected(&station)) return rc;
    unsigned char status[2] = {};
    int ready = 0;
    const int rc = srvTav_PlaceRunOff(station, number, mode, status, &ready);
    if (rc != TAV_E_START_NUMBER) print_status_bytes(status);
    if (mode == 1 && rc == 0 && ready == 0) {
        // Nothing was sent: the amplifier would not take a start now.
        std::printf("start: not ready, nothing sent\n");
        return 1;
    }
    return report(mode == 1 ? "start" : "cancel", rc);
}

int cmd_status(const std::vector<std::string>& args) {
    const bool watch = args.size() == 1 && args[0] == "--watch";
    if (!args.empty() && !watch) {
        std::fprintf(stderr, "status: only --watch is known\n");
        return 2;
    }
    int station = 0;
    if (int rc = open_selected(&station)) return rc;
    g_interrupted = false;
    if (watch) std::signal(SIGINT, on_interrupt);
    int last = 0;
    do {
        unsigned char status[2] = {};
        int ready = 0;
        last = srvTav_Status_Rd(station, status, &ready);
        if (watch && !json_output()) std::printf("\033[H\033[2J");  // redraw in place
        if (last == 0 && json_output()) {
            // One JSON document per refresh (one line each with --watch).
            PositioningRunStatus run;
            std::memset(&run, 0, sizeof run);
            last = srvTav_ItiDatRunStatus_Rd(station, &run);
            if (last != 0) {
                fail("positioning status", last);
            } else {
                std::printf("{\"station\": %d, \"str1\": %d, \"str2\": %d, \"ready\": %s, \"offline\": %s, "
                            "\"data_no\": %d, \"cmd_mode\": %d, \"step_mode\": %d, \"position\": %s, "
                            "\"speed\": %s, \"to_go\": %s, \"code\": %d}\n",
                            station, status[0], status[1], ready ? "true" : "false",
                            (status[0] & 0x04) ? "true" : "false", (run.byDataNo >> 4) * 10 + (run.byDataNo & 0x0F),
                            static_cast<int>(run.nCmdMode), static_cast<int>(run.nStepMode),
                            json_number(run.dValue1).c_str(), json_number(run.dValue2).c_str(),
                            json_number(run.dValue3).c_str(), static_cast<int>(run.nCode));
            }
        } else if (last != 0) {
            fail("status", last);
        } else {
            std::printf("station %d  STR1=0x%02X STR2=0x%02X  %s%s\n", station, status[0], status[1],
                        ready ? "ready" : "not ready", (status[0] & 0x04) ? "  offline" : "");
            PositioningRunStatus run;
            std::memset(&run, 0, sizeof run);
            last = srvTav_ItiDatRunStatus_Rd(station, &run);
            if (last != 0) {
                fail("positioning status", last);
            } else {
                std::printf("data no %s  %s  %s\n", to_utf8(run.szDataNo).c_str(), to_utf8(run.szCmdMode).c_str(),
                            to_utf8(run.szStepMode).c_str());
                std::printf("value 1 %s\nvalue 2 %s\nvalue 3 %s\ncode    %s\n", run.szValue1, run.szValue2,
                            run.szValue3, run.szCode);
            }
        }
        std::fflush(stdout);
        for (int i = 0; watch && i < 5 && !g_interrupted; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (watch && !g_interrupted);
    if (watch) std::signal(SIGINT, SIG_DFL);
    return last == 0 ? 0 : 1;
}

}  // namespace

const char* line_usage() {
    return "  identify [STATION] identify an amplifier (default: the selected entry)\n"
           "  online | offline   switch the selected amplifier\n"
           "  run on SPEED       run on with a manual speed selection; run off\n"
           "  jog + | -          one manual pulse in either direction\n"
           "  start N | cancel   start positioning number N (1..99); cancel it\n"
           "  status [--watch]   run and positioning status (--watch: until Ctrl-C)\n";
}

// -1 when the command is not one of ours.
int run_line_command(const std::string& command, const std::vector<std::string>& args) {
    if (command == "identify") return cmd_identify(args);
    if (command == "online") return args.empty() ? cmd_online_offline(1) : 2;
    if (command == "offline") return args.empty() ? cmd_online_offline(0) : 2;
    if (command == "run") return cmd_run(args);
    if (command == "jog") return cmd_jog(args);
    if (command == "start") return cmd_place(1, args);
    if (command == "cancel") return args.empty() ? cmd_place(0, args) : 2;
    if (command == "status") return cmd_status(args);
    return -1;
}

}  // namespace tavhost
