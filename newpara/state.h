// The newpara layer's piece of the process context: the caches of parsed
// definitions and decimal-point numbers, and the scratch sets and records
// too large for the stack.
#pragma once

#include <cstddef>
#include <mutex>
#include <utility>
#include <vector>

#include "newpara/newpara.h"
#include "platform/file_identity.h"

namespace tav::newpara {

// The records parsed from a definition file, kept while the file stays the
// same (see "Caches keyed on file identity"): the sample definitions are
// read again at every file load, and parsing them was a third of it. A
// record is 5.8 KB of mostly empty text areas, so only its non-zero bytes are
// kept, as pieces laid back over the cleared set.
struct ParsedDefinition {
    tavplat::PathIdentity file;
    int lines = 0;
    std::vector<std::pair<std::size_t, std::size_t>> pieces;  // offset in the records, length
    std::vector<unsigned char> bytes;                         // the pieces' bytes, in order
};

struct DefinitionCache {
    std::mutex mutex;
    std::vector<ParsedDefinition> kept;  // oldest first
};

// The numbers come from building the extended-parameter set (1.7 MB) once or
// twice; they are kept while servo.set, wyn.ini and the definition files they
// came from keep their identities and have settled.
struct DecimalParamsCache {
    bool valid = false;
    std::vector<tavplat::PathIdentity> inputs;
    int stopPos = 0, stopTime = 0;
    unsigned family = 0;
};

struct State {
    DefinitionCache definitions;
    DecimalParamsCache decimalParams;
    NewParaSet lookupSet;          // the decimal-point look-up's working set
    NewParaSet propertyCopy;       // the old values across a Property_Wt re-creation
    NewParaRecord checkedRecord;   // a record kept across its value check (transfers)
    NewParaRecord printedRecord;   // the same for the listing
    NewParaPrint csvPrint;         // the listing a CSV export writes from
};

// The one instance, made at first use.
inline State& state() {
    static State s;
    return s;
}

}  // namespace tav::newpara
