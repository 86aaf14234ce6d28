// Standard-parameter definition file (def/500.def) and what is built from it:
// the accessors, the information lines and the listing.
#include <memory>

#include "fuzz/fuzz_common.h"

static std::unique_ptr<ParaSet> g_set;
static std::unique_ptr<ParaPrint> g_print;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tavfuzz::library_setup();
    g_set = std::make_unique<ParaSet>();
    g_print = std::make_unique<ParaPrint>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tavfuzz::write("def/500.def", data, size);
    ParaSet* set = g_set.get();
    if (srvTav_ParaIni_Rd(0, 0, set) != TAV_OK) return 0;
    ParaRecord rec;
    char text[TAV_PARA_INFO_SIZE];
    int no = 0, code = 0;
    for (int i = 1; i <= set->nParaCount && i <= 99; ++i) {
        srvTav_Para_Dat_Rd(set, i, &rec);
        srvTav_Para_SubTile_Rd(set, i, text);
        srvTav_Para_ValueString_Rd(set, i, i % 8, text);
        srvTav_Para_No_Skubun_Rd(set, i, &code);
        srvTav_Para_Ctl_Inf_Rd(set, i, text);
    }
    srvTav_Para_Skubun_No_Rd(set, static_cast<int>(size % 17), 0, &no);
    srvTav_StdSyp_GrpNmae_Rd(set, static_cast<int>(size % 10), text);
    srvTav_ParaPrint_Mak(set, g_print.get());
    if (size % 2 == 0) srvTav_Para_Syousuh_Chg(set, 1, 1, 0);
    return 0;
}
