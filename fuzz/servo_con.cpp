// servo.con: the station-list readers and the rewrite of one entry.
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tavfuzz::library_setup();
    return 0;
}

static void terminated(const char* text, size_t size) {
    if (memchr(text, 0, size) == nullptr) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tavfuzz::write("servo.con", data, size);
    const int entry = 1 + static_cast<int>(size % 52) - 1;  // 0..51: both ends of the range too
    int count = 0, station = 0, flag = 0, which = 0;
    char name[500];
    char selected[8];
    if (srvTav_AmpData_Rd(entry, 0, &count, &station, name, &flag) == TAV_OK) terminated(name, sizeof name);
    if (srvTav_Yukou_AmpData_Rd(&count, &which, &station, name, &flag) == TAV_OK) terminated(name, sizeof name);
    if (srvTav_Amp_Rd(selected) == TAV_OK) terminated(selected, sizeof selected);
    srvTav_TargetAmpKyoku_Rd(&station);
    srvTav_SiteiAmpKyoku_Rd(entry, &station);
    if (size % 3 == 0) srvTav_AmpData_Wt(entry, 7, "fuzz");
    return 0;
}
