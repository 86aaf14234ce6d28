// Field readers shared by every text-file reader. Bytes are classed as signed
// chars: everything below 32 is a control byte, so the bytes 0x80..0xFF of
// double-byte and half-width katakana text are control bytes to the token
// readers, and only the text readers take them.
#include <cstddef>
#include <cstdint>

#include "frame/frame.h"

namespace tav::frame {

namespace {

constexpr size_t kUnbounded = SIZE_MAX;

bool is_control(char c) { return static_cast<signed char>(c) < 32; }
bool above_blank(char c) { return static_cast<signed char>(c) > 32; }

// Appends while there is room; the reader keeps advancing past a long field.
struct Sink {
    char* dst;
    size_t size;
    size_t used = 0;
    Sink(char* d, size_t s) : dst(d), size(s) { if (dst && size) dst[0] = '\0'; }
    void put(char c) {
        if (dst && used + 1 < size) dst[used++] = c;
    }
    void end() {
        if (dst && size) dst[used < size ? used : size - 1] = '\0';
    }
};

// After a token: return past the separator, or, when the token stopped at a
// blank, drop the rest of the field up to the separator or a control byte.
const char* after_token(const char* p, char sep) {
    if (*p == sep) return p + 1;
    for (;; ++p) {
        if (*p == sep) return p + 1;
        if (is_control(*p)) return p;
    }
}

const char* token_field(const char* src, char* dst, size_t size, char sep) {
    Sink out(dst, size);
    if (src == nullptr) return nullptr;
    const char* p = src;
    if (is_control(*p) ) { out.end(); return nullptr; }
    for (;;) {
        if (*p == sep) { out.end(); return nullptr; }  // an empty field ends the line here
        if (above_blank(*p)) break;
        if (is_control(*p)) { out.end(); return nullptr; }
        ++p;
    }
    while (*p != sep && above_blank(*p)) out.put(*p++);
    out.end();
    return after_token(p, sep);
}

const char* text_field(const char* src, char* dst, size_t size, char sep) {
    Sink out(dst, size);
    if (src == nullptr) return nullptr;
    const char* p = src;
    while (*p != '\0' && *p != sep && *p != '\n') out.put(*p++);
    out.end();
    return *p == sep ? p + 1 : p;
}

}  // namespace

const char* GetCommaField(const char* src, char* dst, size_t dstSize) {
    return token_field(src, dst, dstSize, ',');
}

const char* GetTabField(const char* src, char* dst, size_t dstSize) {
    return token_field(src, dst, dstSize, '\t');
}

const char* GetCommaFieldAllowEmpty(const char* src, char* dst, size_t dstSize) {
    Sink out(dst, dstSize);
    if (src == nullptr) return src;
    const char* p = src;
    while (*p == ' ') ++p;
    while (*p != ',' && above_blank(*p)) out.put(*p++);
    out.end();
    return after_token(p, ',');
}

const char* GetCommaText(const char* src, char* dst, size_t dstSize) {
    return text_field(src, dst, dstSize, ',');
}

const char* GetTabText(const char* src, char* dst, size_t dstSize) {
    return text_field(src, dst, dstSize, '\t');
}

const char* GetCommaField(const char* src, char* dst) { return GetCommaField(src, dst, kUnbounded); }
const char* GetCommaFieldAllowEmpty(const char* src, char* dst) {
    return GetCommaFieldAllowEmpty(src, dst, kUnbounded);
}
const char* GetTabField(const char* src, char* dst) { return GetTabField(src, dst, kUnbounded); }
const char* GetCommaText(const char* src, char* dst) { return GetCommaText(src, dst, kUnbounded); }
const char* GetTabText(const char* src, char* dst) { return GetTabText(src, dst, kUnbounded); }

}  // namespace tav::frame
