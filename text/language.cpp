// Language selection: the modules found in the RSC folder, ordered by
// LangIdSheet.ini, are listed into user.ini, whose current and default ids
// choose the module loaded for each lookup. The selection is kept between
// lookups while the folder and both INI files stay the same.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_identity.h"
#include "platform/platform.h"
#include "text/state.h"
#include "text/text.h"

namespace tav::text {

namespace {

constexpr const char* kCaption = "Quimbel Multi-language";
constexpr const char* kNoValidDll = "No valid DLL to use!";
constexpr const char* kModulePrefix = "tav";
constexpr size_t kModulePathMax = 4096;  // the longest path the system opens

std::string lang_key(int index) {
    char key[16];
    std::snprintf(key, sizeof key, "Lang%04X", static_cast<unsigned>(index) & 0xFFFFu);
    return key;
}

std::string profile_string(const char* section, const char* key, const char* def, const std::string& file) {
    char buf[256];
    tavplat::GetPrivateProfileStringA(section, key, def, buf, sizeof buf, file.c_str());
    return buf;
}

// "tav0411" -> "0x0411": the name from its first decimal digit on.
std::string normalise_module_name(const std::string& fileName) {
    std::string stem = fileName.substr(0, fileName.find_last_of('.'));
    size_t digit = 0;
    while (digit < stem.size() && !std::isdigit(static_cast<unsigned char>(stem[digit]))) ++digit;
    return "0x" + stem.substr(digit);
}

[[noreturn]] void no_valid_dll() {
    tavplat::MessageBoxA(nullptr, kNoValidDll, kCaption, tavplat::MB_OK | tavplat::MB_ICONERROR);
    tavplat::exit_process(1);
}

// "<RSC folder>/tav0411.DLL" into out; a folder too long for it gives an
// empty path (no module).
// Put together by hand: at every lookup, a formatted print of the long
// folder name was a quarter of the lookup's work.
void module_path(const LanguageModule& lm, unsigned langId, char* out, size_t size) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const size_t prefix = std::strlen(kModulePrefix);
    const size_t length = lm.rscDir.size() + 1 + prefix + 4 + 4;  // folder / tav XXXX .DLL
    if (length >= size) {
        out[0] = '\0';
        return;
    }
    char* p = out;
    p = std::copy(lm.rscDir.begin(), lm.rscDir.end(), p);
    *p++ = '/';
    p = std::copy(kModulePrefix, kModulePrefix + prefix, p);
    for (int shift = 12; shift >= 0; shift -= 4) *p++ = kHex[(langId >> shift) & 0xFu];
    std::memcpy(p, ".DLL", 5);
}

// Steps that read the folder and the INI files: the language names found in
// the folder, in the sheet's order, listed into user.ini.
void list_languages(LanguageModule& lm) {
    std::vector<std::string> names;
    for (const std::string& file : tavplat::find_files(lm.rscDir, ".dll")) {
        if (names.size() >= static_cast<size_t>(kMaxLanguages)) break;
        std::string name = normalise_module_name(file);
        bool seen = false;
        for (const std::string& n : names) seen = seen || n == name;
        if (!seen) names.push_back(name);
    }

    // Only the languages the sheet lists are offered, in the sheet's order.
    for (size_t k = 0; k < names.size(); ++k) {
        std::string listed = profile_string("LangIdSort", lang_key(static_cast<int>(k)).c_str(), "", lm.langIdSheetIni);
        for (const std::string& n : names)
            if (!listed.empty() && listed == n) { lm.langNames.push_back(n); break; }
    }

    for (size_t i = 0; i < lm.langNames.size(); ++i) {
        const std::string key = lang_key(static_cast<int>(i));
        std::string domain = profile_string("LangIdSheet", lm.langNames[i].c_str(), "Unknow Language", lm.langIdSheetIni);
        tavplat::WritePrivateProfileStringA("UserLangID", key.c_str(), lm.langNames[i].c_str(), lm.userIni.c_str());
        tavplat::WritePrivateProfileStringA("UserLangDomain", key.c_str(), domain.c_str(), lm.userIni.c_str());
    }
    char count[16];
    std::snprintf(count, sizeof count, "0x%04X", static_cast<unsigned>(lm.langNames.size()));
    tavplat::WritePrivateProfileStringA("UserLangNum", "LangNum", count, lm.userIni.c_str());
}

// Reads the ids back from user.ini; returns CurrentLangID as stored (0: the
// system language).
unsigned read_user_ini(LanguageModule& lm) {
    const char* ini = lm.userIni.c_str();
    const unsigned storedCurrent = tavplat::GetPrivateProfileIntA("LangID", "CurrentLangID", 0, ini);
    lm.defaultLangId = tavplat::GetPrivateProfileIntA("LangID", "DefaultLangID", kEnglishLangId, ini);
    lm.languageCount = static_cast<int>(tavplat::GetPrivateProfileIntA("UserLangNum", "LangNum", 0, ini));
    for (int i = 0; i < kMaxLanguages; ++i) {
        const std::string key = lang_key(i);
        std::string id = profile_string("UserLangID", key.c_str(), "", lm.userIni);
        if (id.empty()) break;
        lm.langIds.push_back(tavplat::GetPrivateProfileIntA("UserLangID", key.c_str(), 0, ini));
        lm.langDomains.push_back(profile_string("UserLangDomain", key.c_str(), "Unknow Language", lm.userIni));
    }
    return storedCurrent;
}

// The current id must be one of the listed ones; the boxes appear at every
// lookup for which this holds, cached or not.
// True when the id is listed (no question asked).
bool validate_current(LanguageModule& lm) {
    for (unsigned id : lm.langIds)
        if (id == lm.currentLangId) return true;
    if (lm.currentLangId != kEnglishLangId) {
        int answer = tavplat::MessageBoxA(nullptr, "Current language invalid, use the default language?", kCaption,
                                          tavplat::MB_YESNO | tavplat::MB_ICONQUESTION);
        if (answer != tavplat::IDYES) no_valid_dll();
        lm.currentLangId = kEnglishLangId;
        return false;
    }
    no_valid_dll();
}

// ------------------------------------------------------- selection cache
SelectionInputs selection_inputs(const LanguageModule& lm) {
    return {tavplat::path_identity(lm.rscDir), tavplat::path_identity(lm.langIdSheetIni),
            tavplat::path_identity(lm.userIni)};
}

CachedSelection& selection_cache() { return state().selection; }

// A text lookup needs the ids only; the names are for those who list them.
enum class Wanted { kEverything, kIdsOnly };

bool reuse_selection(LanguageModule& lm, unsigned& storedCurrent, tavplat::CacheMode mode, Wanted wanted) {
    if (mode == tavplat::CacheMode::kBypassed) return false;
    std::lock_guard<std::mutex> lock(state().selectionMutex);
    const CachedSelection& c = selection_cache();
    if (!c.valid || c.inputs.rsc.path != lm.rscDir) return false;
    if (mode != tavplat::CacheMode::kFixed &&
        !(tavplat::identity_unchanged(c.inputs.rsc) && tavplat::identity_unchanged(c.inputs.sheet) &&
          tavplat::identity_unchanged(c.inputs.user)))
        return false;
    storedCurrent = c.storedCurrent;
    lm.defaultLangId = c.defaultLangId;
    lm.languageCount = c.languageCount;
    lm.langIds = c.langIds;
    if (wanted == Wanted::kEverything) {
        lm.langNames = c.langNames;
        lm.langDomains = c.langDomains;
    }
    return true;
}

// Keeps what was built only when nothing changed while it was built (our
// own rewrite of user.ini included) and every input has settled.
void remember_selection(const LanguageModule& lm, unsigned storedCurrent, const SelectionInputs& before,
                        tavplat::CacheMode mode) {
    const SelectionInputs after = selection_inputs(lm);
    const bool keep = mode != tavplat::CacheMode::kBypassed && after.rsc.present && after == before &&
                      tavplat::identity_is_settled(after.rsc) && tavplat::identity_is_settled(after.sheet) &&
                      tavplat::identity_is_settled(after.user);
    std::lock_guard<std::mutex> lock(state().selectionMutex);
    CachedSelection& c = selection_cache();
    c = CachedSelection{};
    if (!keep) return;
    c = {true, after, storedCurrent, lm.defaultLangId, lm.languageCount, lm.langIds, lm.langNames, lm.langDomains, {}};
}

// Notes the module of a lookup whose current id needed no question, so the
// next lookups with the same inputs go straight to it.
void remember_resolved(const LanguageModule& lm, const char* modulePath) {
    std::lock_guard<std::mutex> lock(state().selectionMutex);
    CachedSelection& c = selection_cache();
    // Only onto the selection this lookup was built from.
    const unsigned current = c.storedCurrent != 0 ? c.storedCurrent : lm.systemLangId;
    if (!c.valid || c.inputs.rsc.path != lm.rscDir || current != lm.currentLangId || c.langIds != lm.langIds) return;
    c.resolved = {true, lm.systemLangId, lm.hostDir, modulePath};
}

// The module path of the current language while the selection cache holds
// and the system language and host folder are those it was resolved for.
bool resolved_module(char* out, size_t size) {
    const tavplat::CacheMode mode = tavplat::cache_mode();
    if (mode == tavplat::CacheMode::kBypassed) return false;
    const unsigned systemLangId = tavplat::GetSystemDefaultLangID();
    std::lock_guard<std::mutex> lock(state().selectionMutex);
    const CachedSelection& c = selection_cache();
    const CachedSelection::Resolved& r = c.resolved;
    if (!c.valid || !r.valid || r.systemLangId != systemLangId || !tavplat::host_directory_is(r.hostDir) ||
        r.module.size() >= size)
        return false;
    if (mode != tavplat::CacheMode::kFixed &&
        !(tavplat::identity_unchanged(c.inputs.rsc) && tavplat::identity_unchanged(c.inputs.sheet) &&
          tavplat::identity_unchanged(c.inputs.user)))
        return false;
    std::memcpy(out, r.module.c_str(), r.module.size() + 1);
    return true;
}

// True when the current id was listed as it stood (no question asked).
bool build_language_module(LanguageModule& lm, Wanted wanted) {
    lm = LanguageModule{};
    lm.systemLangId = tavplat::GetSystemDefaultLangID();
    lm.hostDir = tavplat::host_directory();
    lm.rscDir = lm.hostDir + "/RSC";
    auto name_ini_files = [&lm] {
        lm.userIni = lm.rscDir + "/user.ini";
        lm.langIdSheetIni = lm.rscDir + "/LangIdSheet.ini";
    };
    if (wanted == Wanted::kEverything) name_ini_files();

    unsigned storedCurrent = 0;
    const tavplat::CacheMode mode = tavplat::cache_mode();
    if (!reuse_selection(lm, storedCurrent, mode, wanted)) {
        name_ini_files();
        const SelectionInputs before = selection_inputs(lm);
        list_languages(lm);
        storedCurrent = read_user_ini(lm);
        remember_selection(lm, storedCurrent, before, mode);
    }
    lm.currentLangId = storedCurrent != 0 ? storedCurrent : lm.systemLangId;
    return validate_current(lm);
}

}  // namespace

void BuildLanguageModule(LanguageModule& lm) { build_language_module(lm, Wanted::kEverything); }

void LoadLanguageModule(LanguageModule& lm) {
    for (;;) {
        char path[kModulePathMax];
        module_path(lm, lm.currentLangId, path, sizeof path);
        lm.module = tavplat::LoadLibraryA(path);
        if (lm.module != nullptr) return;
        char message[512];
        tavplat::format_text(message, sizeof message, "The Resource DLL( %s ) is invalid!", path);
        tavplat::MessageBoxA(nullptr, message, kCaption, tavplat::MB_OK | tavplat::MB_ICONERROR);
        if (lm.currentLangId == lm.defaultLangId) no_valid_dll();
        lm.currentLangId = lm.defaultLangId;
    }
}

void FreeLanguageModule(LanguageModule& lm) {
    if (lm.module != nullptr) tavplat::FreeLibrary(lm.module);
    lm.module = nullptr;
}

int LoadText(const LanguageModule& lm, unsigned id, char* out, int size) {
    return tavplat::LoadStringA(lm.module, id, out, size);
}

int LoadText(unsigned id, char* out, int size) {
    // Nothing the selection depends on changed: load that module directly
    // (still loaded and freed around this one lookup).
    char path[kModulePathMax];
    if (resolved_module(path, sizeof path)) {
        if (void* module = tavplat::LoadLibraryA(path)) {
            const int n = tavplat::LoadStringA(module, id, out, size);
            tavplat::FreeLibrary(module);
            return n;
        }
    }
    LanguageModule lm;
    const bool listed = build_language_module(lm, Wanted::kIdsOnly);
    const unsigned wanted = lm.currentLangId;
    LoadLanguageModule(lm);
    if (listed && lm.currentLangId == wanted) {
        module_path(lm, lm.currentLangId, path, sizeof path);
        remember_resolved(lm, path);
    }
    int n = LoadText(lm, id, out, size);
    FreeLanguageModule(lm);
    return n;
}

std::string Text(unsigned id) {
    char buf[2048];
    int n = LoadText(id, buf, sizeof buf);
    return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

}  // namespace tav::text
