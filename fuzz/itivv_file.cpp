// VV positioning data: a ".k7v" or ".m7v" file by name, or the VV template
// of the current model read with an empty name; then the listing.
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tavfuzz::library_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ItiVvDatSet set;
    static ItiVvDatPrintData print;
    short rc;
    switch (size % 3) {
    case 0:
        tavfuzz::write("fuzz.k7v", data, size);
        rc = srvTav_ItiVvDatFil_Rd(tavfuzz::file("fuzz.k7v").c_str(), &set);
        break;
    case 1:
        tavfuzz::write("fuzz.m7v", data, size);
        rc = srvTav_ItiVvDatFil_Rd(tavfuzz::file("fuzz.m7v").c_str(), &set);
        break;
    default:
        for (const char* t : {"template/55.k7v", "template/56.k7v", "template/57.k7v", "template/58.k7v",
                              "template/59.k7v"})
            tavfuzz::write(t, data, size);
        rc = srvTav_ItiVvDatFil_Rd(nullptr, &set);
        break;
    }
    if (rc != TAV_OK) return 0;
    ItiVvDatPoint point;
    int lines = 0;
    char info[2200];
    for (int no = 1; no <= 15; ++no) srvTav_ItiVvDat_Rd(&set, no, &point);
    srvTav_ItiVvDat_Ctl_Inf_Rd(&set, 0, &lines, info);
    srvTav_ItiVvDatPrint_mak(&set, &print);
    return 0;
}
