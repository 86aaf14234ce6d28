// Extended-parameter definition file (def/500.def of a KESTA7) and what is
// built from it: accessors, reconciliation, information lines and listing.
#include <memory>

#include "fuzz/fuzz_common.h"

static std::unique_ptr<NewParaSet> g_set;
static std::unique_ptr<NewParaPrint> g_print;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tavfuzz::library_setup();
    g_set = std::make_unique<NewParaSet>();
    g_print = std::make_unique<NewParaPrint>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tavfuzz::write("def/500.def", data, size);
    NewParaSet* set = g_set.get();
    if (srvTav_NewParaIni_Rd(0, 0, 0, set) != TAV_OK) return 0;
    NewParaRecord rec;
    char text[2200];
    int no = 0, code = 0, lines = 0;
    for (int i = 1; i <= 297; i += 1 + static_cast<int>(size % 3)) {
        srvTav_NewPara_Dat_Rd(set, i, &rec);
        srvTav_NewPara_SubTile_Rd(set, i, text);
        srvTav_NewPara_ValueString_Rd(set, i, i % 10, text);
        srvTav_NewPara_No_Skubun_Rd(set, i, &code);
    }
    for (int item = 0; item < 8; ++item) srvTav_NewPara_Ctl_Inf_Rd(set, item, &lines, text);
    srvTav_NewPara_Skubun_No_Rd(set, static_cast<int>(size % 23), 0, &no);
    srvTav_NewPara_Syousuh_Chg(set, 1, 1, 1, static_cast<int>(size % 2));
    srvTav_NewParaPrint_Mak(set, g_print.get());
    return 0;
}
