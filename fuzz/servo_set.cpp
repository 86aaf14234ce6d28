// servo.set: the line settings reader and the model rewrite that keeps the
// rest of the file.
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tavfuzz::library_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tavfuzz::write("servo.set", data, size);
    LineSettings ls;
    std::memset(&ls, 0xA5, sizeof ls);
    if (srvTav_Set_Rd(&ls) == TAV_OK) {
        // Texts come back terminated within their fields.
        if (memchr(ls.szText1, 0, sizeof ls.szText1) == nullptr) std::abort();
        if (memchr(ls.szText2, 0, sizeof ls.szText2) == nullptr) std::abort();
    }
    // The rewrite parses the file again and keeps what it does not change.
    if (size % 4 == 1) srvTav_SetKisyu_Wt2(static_cast<int>(size % 7), 1, 2, 3);
    return 0;
}
