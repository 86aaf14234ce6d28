// The guided session: what a user sees first. It works on the installation
// folder ($WYN_HOME, or --home), whose sample line is the built-in simulator.
#include <cstdio>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "host/console.h"
#include "wynapi/wynapi.h"

namespace tavhost {

namespace {

void heading(const char* text) { std::printf("\n== %s\n", text); }

const char* family_name(int family) {
    switch (family) {
        case 0x30: return "KESTA7";
        case 0x40: return "KESTA7 Mini";
        case 0x50: return "servo operator";
        default: return "unknown device";
    }
}

int list_stations(std::vector<int>& stations) {
    heading("Stations in servo.con");
    char selected[16] = "";
    int rc = srvTav_Amp_Rd(selected);
    if (rc != 0) {
        std::printf("cannot read the station list: %d %s\n", rc, message(rc).c_str());
        return rc;
    }
    std::printf("selected entry: %s\n", selected);
    for (int entry = 1; entry <= 50; ++entry) {
        int count = 0, station = 0, flag = 0;
        char name[512] = "";
        if (srvTav_AmpData_Rd(entry, 0, &count, &station, name, &flag) != 0 || entry > count) break;
        std::printf("  entry %2d  station %3d  %s  %s\n", entry, station, flag ? "connected" : "-        ",
                    to_utf8(name).c_str());
        if (station != 999) stations.push_back(station);
    }
    return 0;
}

void show_identification(int station) {
    unsigned char record[17] = {};
    short rc = Wyn_SysCondition_Rd(station, sizeof record, record);
    if (rc != 0) {
        std::printf("  station %3d  no answer: %d %s\n", station, rc, message(rc).c_str());
        return;
    }
    std::printf("  station %3d  %s (family 0x%02X)\n", station, family_name(record[4]), record[4]);
    AmpIdentification id{};
    if (record[4] != 0x30 && record[4] != 0x40) return;
    if (srvTav_SysCondition_Rd(station, &id) != 0) return;
    std::printf("               model %s, %s, %s\n", to_utf8(id.szModelName).c_str(),
                to_utf8(id.szAmpCapacity).c_str(), to_utf8(id.szAmpVoltage).c_str());
    std::printf("               motor %s, %s, %s\n", to_utf8(id.szMotorName).c_str(),
                to_utf8(id.szMotorSpeed).c_str(), to_utf8(id.szEncoder).c_str());
}

}  // namespace

int cmd_demo() {
    char version[12];
    srvTav_GetVersion(version);
    std::printf("Servo loader session (library %s)\n", version);

    std::vector<int> stations;
    int rc = list_stations(stations);
    if (rc != 0) return 1;

    heading("Identifying the devices on the line");
    rc = srvTav_Wyn_Net_Open();
    if (rc != 0) {
        std::printf("the line does not open: %d %s\n", rc, message(rc).c_str());
        return 1;
    }
    show_identification(0);
    for (int station : stations) show_identification(station);
    Wyn_Net_Close();

    heading("Refreshing the connection flag of entry 1");
    int count = 0, station = 0, flag = 0;
    char name[512] = "";
    rc = srvTav_AmpData_Rd(1, 1, &count, &station, name, &flag);
    std::printf("entry 1, station %d: %s (%d %s)\n", station, flag ? "answers" : "does not answer", rc,
                message(rc).c_str());
    return rc == 0 ? 0 : 1;
}

}  // namespace tavhost
