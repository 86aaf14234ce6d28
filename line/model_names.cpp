// Model numbers of the edited amplifier and the amplifier-name texts that the
// data files carry on their "ampname=" line.
#include <cstring>

#include "line/state.h"
#include "platform/platform.h"

namespace tav::line {

namespace {

struct ModelEntry {
    const char* name;
    unsigned base;  // row V, R or L of the control-type table (3: other)
    unsigned bus;   // 1: attached through the KB bus
};

// Indexed by model number; the files and servo.set store the names.
constexpr ModelEntry kModels[] = {
    {"VEL", 0, 0}, {"ROR", 1, 0}, {"LIN", 2, 0}, {"ETC", 3, 0}, {"LIN_KB", 2, 1}, {"VEL_KB", 0, 1},
};
constexpr unsigned kModelCount = sizeof kModels / sizeof kModels[0];

}  // namespace

short NameFromModelNumber(unsigned number, char* name) {
    if (number >= kModelCount || name == nullptr) return TAV_E_PARAMETER;
    // The callers' buffers hold 7 bytes: the longest name and its terminator.
    tavplat::copy_text(name, 7, kModels[number].name);
    return TAV_OK;
}

short ModelNumberFromName(const char* name) {
    if (name == nullptr) return TAV_E_PARAMETER;
    for (unsigned i = 0; i < kModelCount; ++i)
        if (std::strcmp(name, kModels[i].name) == 0) return static_cast<short>(i);
    return TAV_E_PARAMETER;
}

short AmpModelNumber(unsigned number, unsigned* base, unsigned* bus) {
    if (number >= kModelCount || base == nullptr || bus == nullptr) return TAV_E_PARAMETER;
    *base = kModels[number].base;
    *bus = kModels[number].bus;
    return TAV_OK;
}

char* amp_name_from_file() { return state().nameFromFile; }
char* amp_name_for_file() { return state().nameForFile; }

void set_amp_name_for_file(const char* name) {
    // A null name empties it, so no "ampname=" line is written.
    tavplat::copy_text(state().nameForFile, name);
}

unsigned amp_name_from_file_sel() { return state().nameFromFileSel; }
void set_amp_name_from_file_sel(unsigned value) { state().nameFromFileSel = value; }

}  // namespace tav::line
