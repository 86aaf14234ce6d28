// Positioning data: a ".k7l" file by name, or (odd sizes) the template of the
// current model read with an empty name; then the listing of the table.
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tavfuzz::library_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ItiDatSet set;
    static ItiDatPrintData print;
    short rc;
    if (size % 2 == 0) {
        tavfuzz::write("fuzz.k7l", data, size);
        rc = srvTav_ItiDatFil_Rd(tavfuzz::file("fuzz.k7l").c_str(), &set);
    } else {
        for (const char* t : {"template/50.k7l", "template/51.k7l", "template/52.k7l", "template/53.k7l",
                              "template/54.k7l"})
            tavfuzz::write(t, data, size);
        rc = srvTav_ItiDatFil_Rd("", &set);
    }
    if (rc != TAV_OK) return 0;
    ItiDatPoint point;
    int lines = 0;
    char info[2200];
    for (int no = 1; no <= 99; ++no) srvTav_ItiDat_Rd(&set, no, &point);
    srvTav_ItiDat_Ctl_Inf_Rd(&set, 0, &lines, info);
    srvTav_ItiDatPrint_mak(&set, &print);
    return 0;
}
