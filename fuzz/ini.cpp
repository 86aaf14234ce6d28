// The INI files of the language folder (user.ini, LangIdSheet.ini) and of the
// installation (wyn.ini): lookups, listings, numbers and a write that must
// keep the rest of the file.
#include "fuzz/fuzz_common.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tavfuzz::home();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tavfuzz::write("fuzz.ini", data, size);
    const std::string path = tavfuzz::file("fuzz.ini");
    const char* ini = path.c_str();
    char out[512];
    const unsigned sizes[] = {1, 2, 7, sizeof out};
    const unsigned outSize = sizes[size % 4];
    static const char* const kLookups[][2] = {
        {"LangID", "CurrentLangID"}, {"LangID", "DefaultLangID"}, {"UserLangNum", "LangNum"},
        {"UserLangID", "LangID1"},   {"Ports", "COM1"},           {"Paths", "300"},
    };
    for (const auto& l : kLookups) {
        const unsigned n = tavplat::GetPrivateProfileStringA(l[0], l[1], "def", out, outSize, ini);
        if (n >= outSize || out[n] != '\0') std::abort();
        tavplat::GetPrivateProfileIntA(l[0], l[1], -1, ini);
    }
    // Listings end with two terminators inside the buffer.
    tavplat::GetPrivateProfileStringA(nullptr, nullptr, nullptr, out, outSize, ini);
    tavplat::GetPrivateProfileStringA("LangID", nullptr, nullptr, out, outSize, ini);
    if (size % 5 == 0) {
        tavplat::WritePrivateProfileStringA("LangID", "CurrentLangID", "1033", ini);
        const unsigned n = tavplat::GetPrivateProfileStringA("LangID", "CurrentLangID", "", out, sizeof out, ini);
        if (n != 4 || std::strcmp(out, "1033") != 0) std::abort();  // a write is read back
    }
    return 0;
}
