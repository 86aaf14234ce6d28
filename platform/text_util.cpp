// Bounded text helpers: every copy and format into a caller's fixed array goes
// through these, so no caller can run past its buffer.
#include <cstdarg>
#include <cstring>

#include "platform/platform.h"

namespace tavplat {

size_t copy_text(char* dst, size_t size, const char* src) {
    if (dst == nullptr || size == 0) return 0;
    if (src == nullptr) src = "";
    // strnlen: src need not be terminated within reach of what we copy.
    size_t n = ::strnlen(src, size - 1);
    std::memmove(dst, src, n);
    dst[n] = '\0';
    return n;
}

int format_text(char* dst, size_t size, const char* fmt, ...) {
    if (dst == nullptr || size == 0) return 0;
    if (fmt == nullptr) {
        dst[0] = '\0';
        return 0;
    }
    va_list ap;
    va_start(ap, fmt);
    int r = std::vsnprintf(dst, size, fmt, ap);
    va_end(ap);
    if (r < 0) dst[0] = '\0';  // encoding error: leave a defined, empty text
    dst[size - 1] = '\0';
    return r;
}

}  // namespace tavplat
