// The field readers of the data files: comma and tab fields and texts, in
// the unbounded form (destination as long as the source) and the bounded one.
#include <vector>

#include "frame/frame.h"
#include "fuzz/fuzz_common.h"

namespace {

using Unbounded = const char* (*)(const char*, char*);
using Bounded = const char* (*)(const char*, char*, std::size_t);

const Unbounded kUnbounded[] = {tav::frame::GetCommaField, tav::frame::GetCommaFieldAllowEmpty,
                                tav::frame::GetTabField, tav::frame::GetCommaText, tav::frame::GetTabText};
const Bounded kBounded[] = {tav::frame::GetCommaField, tav::frame::GetCommaFieldAllowEmpty,
                            tav::frame::GetTabField, tav::frame::GetCommaText, tav::frame::GetTabText};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // First byte: which reader, and the size of the bounded destination.
    const unsigned pick = data[0] % 5;
    const size_t small = 1 + data[0] / 5 % 16;
    std::vector<char> line(reinterpret_cast<const char*>(data) + 1, reinterpret_cast<const char*>(data) + size);
    line.push_back('\0');
    const char* end = line.data() + line.size();

    // A reader never moves past the terminator, and every call that returns
    // a position moves forward (or the loop below would never end).
    std::vector<char> field(line.size());
    const char* p = line.data();
    for (size_t guard = 0; p != nullptr && guard <= line.size(); ++guard) {
        const char* next = kUnbounded[pick](p, field.data());
        if (next != nullptr && (next < p || next >= end)) std::abort();
        if (memchr(field.data(), 0, field.size()) == nullptr) std::abort();
        if (next == p) break;
        p = next;
    }
    std::vector<char> cut(small);
    p = line.data();
    for (size_t guard = 0; p != nullptr && guard <= line.size(); ++guard) {
        const char* next = kBounded[pick](p, cut.data(), cut.size());
        if (next != nullptr && (next < p || next >= end)) std::abort();
        if (memchr(cut.data(), 0, cut.size()) == nullptr) std::abort();
        if (next == p) break;
        p = next;
    }
    return 0;
}
