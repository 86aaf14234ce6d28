// The parameter numbers of the positioning tables' decimal-point settings,
// the one thing the positioning transfers take from the extended parameters.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "comm/comm.h"
#include "newpara/state.h"
#include "platform/file_identity.h"
#include "platform/platform.h"

namespace tav::newpara {

namespace {

// servo.set and wyn.ini: which definitions are read, and where they are.
std::vector<tavplat::PathIdentity> settings_identities() {
    char settings[TAV_PATH_MAX] = {};
    comm::full_path(0, settings);
    return {tavplat::path_identity(settings), tavplat::path_identity(tavplat::wyn_home() + "/wyn.ini")};
}

bool inputs_unchanged(const std::vector<tavplat::PathIdentity>& inputs) {
    const std::vector<tavplat::PathIdentity> settings = settings_identities();
    if (inputs.size() < settings.size() || !std::equal(settings.begin(), settings.end(), inputs.begin())) return false;
    for (size_t i = settings.size(); i < inputs.size(); ++i)
        if (!tavplat::identity_unchanged(inputs[i])) return false;
    return true;
}

// Looks the numbers up in the definitions, noting each definition file read.
short look_up_decimal_params(int* stopPosParam, int* stopTimeParam, unsigned* family,
                             std::vector<tavplat::PathIdentity>& inputs) {
    NewParaSet& set = state().lookupSet;
    auto create = [&](int kind) {
        if (NewPara_Create(2, kind, &set) != TAV_OK) return false;
        const std::string path(set.szDefPath, strnlen(set.szDefPath, sizeof set.szDefPath));
        if (std::none_of(inputs.begin(), inputs.end(), [&](const tavplat::PathIdentity& i) { return i.path == path; }))
            inputs.push_back(tavplat::path_identity(path));
        return true;
    };
    auto find = [&](int codeNo, int* number) -> short {
        if (!create(0)) return 1;
        if (NewPara_Skubun_No_Rd(&set, codeNo, 0, number) == TAV_OK) return TAV_OK;
        if (!create(1)) return 1;
        if (NewPara_Skubun_No_Rd(&set, codeNo, 0, number) != TAV_OK) return 1;
        return TAV_OK;
    };
    if (find(kSS, stopPosParam) != TAV_OK) return 1;
    if (find(kS2, stopTimeParam) != TAV_OK) return 1;
    *family = static_cast<unsigned>(set.nFamily);
    return TAV_OK;
}

}  // namespace

short decimal_point_params(int* stopPosParam, int* stopTimeParam, unsigned* family) {
    DecimalParamsCache& cache = state().decimalParams;
    if (cache.valid && !tavplat::caches_bypassed() && inputs_unchanged(cache.inputs)) {
        *stopPosParam = cache.stopPos;
        *stopTimeParam = cache.stopTime;
        *family = cache.family;
        return TAV_OK;
    }
    cache = DecimalParamsCache{};
    std::vector<tavplat::PathIdentity> inputs = settings_identities();
    const short code = look_up_decimal_params(stopPosParam, stopTimeParam, family, inputs);
    if (code != TAV_OK || tavplat::caches_bypassed()) return code;
    bool keep = inputs_unchanged(inputs);
    for (const tavplat::PathIdentity& i : inputs) keep = keep && tavplat::identity_is_settled(i);
    if (keep) cache = {true, std::move(inputs), *stopPosParam, *stopTimeParam, *family};
    return code;
}

}  // namespace tav::newpara
