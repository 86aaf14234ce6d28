// Edits the positioning table of an L-type amplifier and writes it back.
//
// Reads the table of a station-list entry, changes two points in memory,
// writes only the changed points to the amplifier and saves the table to a
// .k7l file. The library is C; C++ only wraps the set in a unique_ptr.
//
//   usage: edit_table [ENTRY [FILE]]   (defaults: entry 1, table.k7l)
#include <cstdio>
#include <memory>
#include <string>

#include "Tav_acs.h"

namespace {

// The message of a result code (code page 932; ASCII for the English texts).
std::string message(short code) {
    char text[512] = "";
    srvTav_ErrString_Get(code, sizeof text, text);
    return text;
}

bool ok(const char* what, short code) {
    std::printf("%-24s %d %s\n", what, code, message(code).c_str());
    return code == 0;
}

void print_point(const ItiDatSet& set, int no) {
    ItiDatPoint p{};
    if (srvTav_ItiDat_Rd(const_cast<ItiDatSet*>(&set), no, &p) != 0) return;
    std::printf("  point %2d: %s stop %.*f speed %.2f timer %.2f M%d%s\n", no, p.nCmdMode == 0 ? "ABS" : "INC",
                static_cast<int>(set.wStopPosDp), p.dStopPos, p.dSpeed, p.dStopTimer, static_cast<int>(p.nMCode),
                p.nChgFlag != 0 ? "  (changed)" : "");
}

}  // namespace

int main(int argc, char** argv) {
    const char* entry = argc > 1 ? argv[1] : "1";
    const char* file = argc > 2 ? argv[2] : "table.k7l";
    auto set = std::make_unique<ItiDatSet>();  // 8 KB, zeroed
    srvTav_SetVersion("1.00");

    // A null file name and a station text: read from the amplifier.
    if (!ok("read table", srvTav_ItiDat_ComRd(nullptr, entry, set.get()))) return 1;
    std::printf("  %d points, stop positions with %u decimal places\n", static_cast<int>(set->nPointCount),
                static_cast<unsigned>(set->wStopPosDp));

    // Point 1: absolute to 2500.0 at 150.00 with 0.5 s stop and M code 12 (valid, MW);
    // point 2: 1750.0 further (INC) at 10.00, no M code.
    short rc = srvTav_ItiDat_Chg(set.get(), 1, 0, 0, 2500.0, 150.0, 0.5, 12, 1, 0);
    if (rc == 0) rc = srvTav_ItiDat_Chg(set.get(), 2, 1, 0, 1750.0, 10.0, 0.0, 0, 0, 0);
    if (rc == 0) rc = srvTav_ItiDat_FileCmt_Wt(set.get(), "Edited by the edit_table example");
    if (!ok("edit points 1 and 2", rc)) return 1;
    print_point(*set, 1);
    print_point(*set, 2);

    // writeAll 0: only the points marked changed go to the amplifier.
    if (!ok("write changed points", srvTav_ItiDat_ComWt(nullptr, entry, 0, set.get()))) return 1;
    if (!ok("save file", srvTav_ItiDatFil_Wt(file, set.get()))) return 1;

    // Read back from the amplifier to see the values it now holds.
    auto check = std::make_unique<ItiDatSet>();
    if (!ok("read back", srvTav_ItiDat_ComRd(nullptr, entry, check.get()))) return 1;
    print_point(*check, 1);
    print_point(*check, 2);
    return 0;
}
