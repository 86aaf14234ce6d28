// Result code -> message: library codes (<= 0) are string 3000 + |code|,
// communication codes (> 0) string 4000 + code.
#include <cstdio>
#include <cstdlib>

#include "comm/comm.h"
#include "text/text.h"

namespace tav::text {

namespace {

constexpr unsigned kLibraryBase = 3000;
constexpr unsigned kCommBase = 4000;
constexpr unsigned kCommCodeLabel = 10008;   // "通信ｴﾗｰｺｰﾄﾞ"
constexpr unsigned kErrorCodeLabel = 10009;  // "ｴﾗｰｺｰﾄﾞ"
constexpr int kCommandStatusCode = 15;

}  // namespace

short ErrString_Get(int code, int size, char* out) {
    if (out == nullptr || size <= 0) return 0;
    out[0] = '\0';
    LanguageModule lm;
    BuildLanguageModule(lm);
    LoadLanguageModule(lm);
    char label[512];
    if (code > 0) {
        if (LoadText(lm, kCommBase + static_cast<unsigned>(code), out, size) == 0) {
            LoadText(lm, kCommCodeLabel, label, sizeof label);
            std::snprintf(out, static_cast<size_t>(size), "%s = 0x%04X", label, static_cast<unsigned>(code));
        }
        if (code == kCommandStatusCode) {
            std::string soFar(out);
            std::snprintf(out, static_cast<size_t>(size), "%s = 0x%0x", soFar.c_str(),
                          static_cast<unsigned>(comm::wyn().GetCmdStsErr()) & 0xFFu);
        }
    } else {
        const long long magnitude = -static_cast<long long>(code);
        const long long id = kLibraryBase + magnitude;
        if (id > 0xFFFF || LoadText(lm, static_cast<unsigned>(id), out, size) == 0) {
            LoadText(lm, kErrorCodeLabel, label, sizeof label);
            std::snprintf(out, static_cast<size_t>(size), "%s = %d", label, code);
        }
    }
    FreeLanguageModule(lm);
    return 0;
}

}  // namespace tav::text
