// The text layer's piece of the process context: the language selection
// kept between lookups (see "Caches keyed on file identity").
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/file_identity.h"
#include "text/text.h"

namespace tav::text {

// The result of list_languages and read_user_ini depends only on the host
// folder, the RSC folder's entries, LangIdSheet.ini and user.ini. It is kept
// while the four are the same files with the same identities, all settled
// (see identity_is_settled), so any change shows at the next lookup.
struct SelectionInputs {
    tavplat::PathIdentity rsc, sheet, user;
    bool operator==(const SelectionInputs&) const = default;
};

struct CachedSelection {
    bool valid = false;
    SelectionInputs inputs;
    unsigned storedCurrent = 0, defaultLangId = kEnglishLangId;
    int languageCount = 0;
    std::vector<unsigned> langIds;
    std::vector<std::string> langNames, langDomains;
    // The module a lookup loads, once a lookup found the current id listed,
    // for that system language and host folder.
    struct Resolved {
        bool valid = false;
        unsigned systemLangId = 0;
        std::string hostDir, module;
    } resolved;
};

struct State {
    std::mutex selectionMutex;  // guards selection: lookups come from several threads
    CachedSelection selection;
};

// The one instance, made at first use.
inline State& state() {
    static State s;
    return s;
}

}  // namespace tav::text
