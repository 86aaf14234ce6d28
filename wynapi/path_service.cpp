// Path service: every file of the installation is named by a numeric id and
// resolved below $WYN_HOME; wyn.ini [Paths] can point single ids elsewhere.
// The definition ids can come from another installation ($WYN_DEF_HOME):
// the servo operator and the amplifiers number their definitions alike.
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "wynapi/wynapi.h"

namespace {

// The servo operator and the amplifiers number their definitions alike.
bool is_definition_id(int id) { return (id >= 500 && id <= 799) || (id >= 1500 && id <= 1699); }

// The default relative path of an id, or "" when the id is not known.
std::string default_relative_path(int id) {
    char buf[64];
    if (id == 0) return "servo.set";
    if (id >= 20 && id <= 49) { std::snprintf(buf, sizeof buf, "model/%d.dat", id); return buf; }
    if (id >= 50 && id <= 54) { std::snprintf(buf, sizeof buf, "template/%d.k7l", id); return buf; }
    if (id >= 55 && id <= 59) { std::snprintf(buf, sizeof buf, "template/%d.k7v", id); return buf; }
    if (id >= 96 && id <= 104) { std::snprintf(buf, sizeof buf, "lock/COM%d.lck", id - 95); return buf; }
    if (id == 105) return "lock/trace.lck";
    if (id == 300) return "servo.con";
    if (is_definition_id(id)) {
        std::snprintf(buf, sizeof buf, "def/%d.def", id);
        return buf;
    }
    if (id == 1001) return "TAVLOG.TRC";
    if (id == 1002) return "@TAVACS.TMP";
    if (id == 1010) return "TAVLOG.VEL";
    if (id == 1011) return "TAVLOG.ROR";
    if (id == 1012) return "TAVLOG.LIN";
    if (id >= 1013 && id <= 1018) { std::snprintf(buf, sizeof buf, "TAVLOG.DP%d", id - 1013); return buf; }
    if (id == 1030) return "TAVLOG.NOSTORE";
    return "";
}

// The installation an id belongs to: $WYN_DEF_HOME for definitions when set
// (its wyn.ini and def/ folder), else $WYN_HOME.
std::string home_of(int id) {
    if (is_definition_id(id)) {
        std::string defs = tavplat::definitions_home();
        if (!defs.empty()) return defs;
    }
    return tavplat::wyn_home();
}

}  // namespace

extern "C" WYN_API short Wyn_srvTav_FullPath_Get(int id, char* path) {
    if (path == nullptr) return WYN_E_DATA;
    path[0] = '\0';
    const std::string home = home_of(id);
    const std::string ini = home + "/wyn.ini";
    char key[16];
    std::snprintf(key, sizeof key, "%d", id);
    char over[WYN_PATH_MAX * 2];
    tavplat::GetPrivateProfileStringA("Paths", key, "", over, sizeof over, ini.c_str());
    std::string rel = over[0] ? over : default_relative_path(id);
    if (rel.empty()) return WYN_E_PATH_ID;
    std::string full = (rel[0] == '/') ? rel : home + "/" + rel;
    if (full.size() >= WYN_PATH_MAX) return WYN_E_PATH_LENGTH;
    tavplat::copy_text(path, WYN_PATH_MAX, full.c_str());
    return WYN_OK;
}
