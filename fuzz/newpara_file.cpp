// Extended-parameter file (.k7p): read against the sample definitions, then
// its properties, comment and listing.
#include <memory>

#include "fuzz/fuzz_common.h"

static std::unique_ptr<NewParaSet> g_set;
static std::unique_ptr<NewParaPrint> g_print;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tavfuzz::library_setup();
    for (int base : {500, 600, 700, 1500, 1600})
        for (int variant : {0, 1, 10, 11, 20, 21, 30, 31}) {
            const std::string id = std::to_string(base + variant);
            tavfuzz::install("tav/def/" + id + ".def", "def/" + id + ".def");
        }
    tavfuzz::install("tav/def/740.def", "def/740.def");
    tavfuzz::install("tav/def/741.def", "def/741.def");
    g_set = std::make_unique<NewParaSet>();
    g_print = std::make_unique<NewParaPrint>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tavfuzz::write("fuzz.k7p", data, size);
    NewParaSet* set = g_set.get();
    const int kind = static_cast<int>(size % 3);
    if (srvTav_NewPara_Rd(tavfuzz::file("fuzz.k7p").c_str(), kind, set) != TAV_OK) return 0;
    char comment[2048];
    NewParaProperty prop;
    int lines = 0;
    char info[2200];
    srvTav_NewPara_FileCmt_Rd(set, comment);
    srvTav_NewPara_Property_Rd(set, &prop);
    srvTav_NewPara_Ctl_Inf_Rd(set, 1, &lines, info);
    srvTav_NewParaPrint_Mak(set, g_print.get());
    return 0;
}
