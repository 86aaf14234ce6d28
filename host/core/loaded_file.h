// What a loaded data file really held: the readers take a file that ends
// early with result 0 and leave the missing points or parameters at their
// defaults, so the host counts the file's data lines itself to say so.
#pragma once

#include <string>

namespace tavhost::core {

// Lines after the first `headerLines` of `file`, at most `most` (a last line
// without its line feed counts); -1 when the file cannot be read.
int data_line_count(const std::string& file, int headerLines, int most);

// Header lines of a positioning or VV file: line 1 and the column titles,
// except in a positioning file of the old tag K7-V1.3, which has no titles.
int table_header_lines(const std::string& file, bool vv);

}  // namespace tavhost::core
