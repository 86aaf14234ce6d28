// Standard-parameter file: read against the sample definitions, then its
// properties, comment and listing.
#include <memory>

#include "fuzz/fuzz_common.h"

static std::unique_ptr<ParaSet> g_set;
static std::unique_ptr<ParaPrint> g_print;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tavfuzz::library_setup();
    for (const char* id : {"500", "510", "520", "530", "600", "610", "620", "630", "700", "720"})
        tavfuzz::install(std::string("tav-operator/def/") + id + ".def", std::string("def/") + id + ".def");
    g_set = std::make_unique<ParaSet>();
    g_print = std::make_unique<ParaPrint>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The kind follows the size; the name carries the kind's extension.
    const int kind = static_cast<int>(size % 3);
    const std::string fileName = kind == 0 ? "fuzz.k7p" : kind == 1 ? "fuzz.syp" : "fuzz.hsp";
    tavfuzz::write(fileName, data, size);
    ParaSet* set = g_set.get();
    std::memset(set, 0, sizeof(ParaSet));
    if (srvTav_Para_Rd(tavfuzz::file(fileName).c_str(), kind, set) != TAV_OK) return 0;
    char comment[2048];
    ParaProperty prop;
    char drive[3], dir[TAV_PATH_MAX], name[TAV_PATH_MAX], s1[TAV_PATH_MAX], s2[TAV_PATH_MAX], title[400];
    srvTav_Para_FileCmt_Rd(set, comment);
    srvTav_Para_Property_Rd(set, &prop);
    srvTav_ParaTitle_Rd(set, drive, dir, name, s1, s2, title);
    srvTav_ParaPrint_Mak(set, g_print.get());
    return 0;
}
