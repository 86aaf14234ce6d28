#include "host/core/texts.h"

#include <iconv.h>
#include <locale.h>
#include <wchar.h>

#include <cerrno>

namespace tavhost::core {

namespace {

struct Row {
    const char* en;
    const char* ja;
};

constexpr Row kTexts[] = {
#define TAV_HOST_TEXT(id, en, ja) {en, ja},
#include "host/core/texts.def"
#undef TAV_HOST_TEXT
};
static_assert(sizeof kTexts / sizeof kTexts[0] == static_cast<std::size_t>(Msg::Count), "one row per text");

// Code point of the UTF-8 sequence at text[i]; advances i (a stray byte counts as one character).
char32_t next_code_point(const std::string& text, std::size_t& i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    if (i + len > text.size()) {
        ++i;
        return c;
    }
    char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1Fu) : len == 3 ? (c & 0x0Fu) : (c & 0x07u);
    for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
    i += len;
    return cp;
}

}  // namespace

std::string text(Lang lang, Msg id) {
    const auto index = static_cast<std::size_t>(id);
    if (index >= static_cast<std::size_t>(Msg::Count)) return "";
    return lang == Lang::Ja ? kTexts[index].ja : kTexts[index].en;
}

std::string say(Lang lang, Msg id, const std::vector<std::string>& args) {
    const std::string pattern = text(lang, id);
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '{' && i + 2 < pattern.size() && pattern[i + 1] >= '0' && pattern[i + 1] <= '9' &&
            pattern[i + 2] == '}') {
            const auto n = static_cast<std::size_t>(pattern[i + 1] - '0');
            if (n < args.size()) out += args[n];
            i += 2;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string utf8_of(const char* cp932) {
    if (cp932 == nullptr) return "";
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return cp932;
    std::string in(cp932);
    std::string out(in.size() * 3 + 4, '\0');
    char* src = in.data();
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1)) break;
        if ((errno != EILSEQ && errno != EINVAL) || dstLeft == 0) break;
        // An undecodable byte is shown as '?' rather than dropping the rest.
        *dst++ = '?';
        --dstLeft;
        ++src;
        --srcLeft;
    }
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

std::size_t display_width(const std::string& utf8) {
    // wcwidth needs a UTF-8 character type; taken for this call only.
    locale_t utf8Locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    locale_t previous = utf8Locale != static_cast<locale_t>(0) ? uselocale(utf8Locale) : static_cast<locale_t>(0);
    std::size_t width = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = next_code_point(utf8, i);
        const int w = utf8Locale != static_cast<locale_t>(0) ? wcwidth(static_cast<wchar_t>(cp)) : -1;
        width += w < 0 ? 1 : static_cast<std::size_t>(w);
    }
    if (utf8Locale != static_cast<locale_t>(0)) {
        uselocale(previous);
        freelocale(utf8Locale);
    }
    return width;
}

std::string pad_right(const std::string& utf8, std::size_t width) {
    const std::size_t w = display_width(utf8);
    return w >= width ? utf8 : utf8 + std::string(width - w, ' ');
}

std::string pad_left(const std::string& utf8, std::size_t width) {
    const std::size_t w = display_width(utf8);
    return w >= width ? utf8 : std::string(width - w, ' ') + utf8;
}

}  // namespace tavhost::core
