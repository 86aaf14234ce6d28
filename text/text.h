// The message catalogue: language selection from the RSC folder beside the
// host, and text lookup by string id in the current language module.
#pragma once

#include <string>
#include <vector>

namespace tav::text {

constexpr int kMaxLanguages = 512;
constexpr unsigned kEnglishLangId = 1033;  // 0x0409, the fallback default

// The language state of one lookup. What it reads from the RSC folder is
// kept between lookups while none of the files it depends on changes.
struct LanguageModule {
    unsigned defaultLangId = kEnglishLangId;
    unsigned systemLangId = 0;
    unsigned currentLangId = 0;
    int languageCount = 0;
    void* module = nullptr;
    std::vector<unsigned> langIds;        // from user.ini
    std::vector<std::string> langNames;   // normalised module names, ordered
    std::vector<std::string> langDomains; // from user.ini
    std::string hostDir, rscDir, userIni, langIdSheetIni;
};

// Steps of a lookup, exposed for tests.
void BuildLanguageModule(LanguageModule& lm);
// Loads the module of the current id (falling back to the default id); may
// end the process when no module can be loaded.
void LoadLanguageModule(LanguageModule& lm);
void FreeLanguageModule(LanguageModule& lm);

// Copies string id of the current language into out (size bytes, always
// terminated when size > 0); returns the length, 0 when there is none.
int LoadText(unsigned id, char* out, int size);
// The same with the module already loaded.
int LoadText(const LanguageModule& lm, unsigned id, char* out, int size);
// Convenience for callers that build lines from catalogue texts.
std::string Text(unsigned id);

// The message of a result code (see srvTav_ErrString_Get).
short ErrString_Get(int code, int size, char* out);

}  // namespace tav::text
