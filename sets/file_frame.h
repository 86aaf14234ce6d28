// How every family writes a file: the save target chosen, the file written
// whole or not at all, and the CSV export of a listing. What goes into the
// lines stays with each family.
#pragma once

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include "Tav_acs.h"
#include "frame/result.h"
#include "platform/platform.h"
#include "sets/sets.h"

namespace tav::sets {

// Where a save goes: the name given, else the set's own file name (which may
// fill its field without an end). -7 without either, -5 for a name too short
// to carry a kind ("x.ext").
template <std::size_t N>
Result save_target(const char* given, const char (&own)[N], std::string* target) {
    *target = given != nullptr && given[0] != '\0' ? std::string(given) : std::string(own, strnlen(own, N));
    if (target->empty()) return TAV_E_NO_TARGET_FILE;
    if (target->size() < 5) return TAV_E_FILE_NAME;
    return TAV_OK;
}

// The trace line a family writes for a file it could not open (none: nullptr).
using TraceRefused = void (*)(const char* path);

// Writes path through a replacing file: body(f) writes the content and
// answers a code. Only a body that answers 0 puts the file in place, so a
// failed write, a cancel or a record that could not be made leaves the old
// file as it was. A file that cannot be opened answers refusedCode.
template <class Body>
Result write_whole_file(const char* path, short refusedCode, TraceRefused trace, Body body) {
    tavplat::ReplacingFile file;
    if (!file.open(path, "w+")) {
        if (trace != nullptr) trace(path);
        return refusedCode;
    }
    short code = body(file.get());
    if (code == TAV_OK && !file.commit()) code = TAV_E_DISK_FULL;
    return code;
}

// A listing's CSV export: the description lines of items, each ended, then
// the text record(&text) composes from the print record in its CSV form. The
// record is made first, as the description may read what it checked.
template <class Describe, class Record>
Result write_csv_listing(const char* path, TraceRefused trace, std::initializer_list<int> items, Describe describe,
                         Record record) {
    return write_whole_file(path, TAV_E_NO_FILE, trace, [&](FILE* f) -> short {
        std::string body;
        const short made = record(&body);
        if (made != TAV_OK) return made;
        std::string text;
        for (int item : items) text += describe(item) + "\n";
        text += body;
        return put_lines(f, text);
    });
}

}  // namespace tav::sets
