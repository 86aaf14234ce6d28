// The host's own texts in both languages: one table (host/core/texts.def),
// looked up by id. Arguments fill {0}, {1}, ... ; everything is UTF-8.
#pragma once

#include <string>
#include <vector>

namespace tavhost::core {

enum class Lang { En, Ja };

enum class Msg {
#define TAV_HOST_TEXT(id, en, ja) id,
#include "host/core/texts.def"
#undef TAV_HOST_TEXT
    Count
};

// The text of id in lang, placeholders left as they are.
std::string text(Lang lang, Msg id);
// The text with {0}, {1}, ... replaced by args.
std::string say(Lang lang, Msg id, const std::vector<std::string>& args = {});

// Code page 932 text (the library's and the installation's) as UTF-8.
std::string utf8_of(const char* cp932);

// Terminal columns of UTF-8 text (wcswidth; 1 per character it cannot measure).
std::size_t display_width(const std::string& utf8);
// utf8 padded with blanks to `width` columns (left-aligned), or right-aligned.
std::string pad_right(const std::string& utf8, std::size_t width);
std::string pad_left(const std::string& utf8, std::size_t width);

}  // namespace tavhost::core
