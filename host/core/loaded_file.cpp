#include "host/core/loaded_file.h"

#include <fstream>

namespace tavhost::core {

int data_line_count(const std::string& file, int headerLines, int most) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return -1;
    int lines = 0;
    std::string line;
    while (lines < headerLines + most && std::getline(in, line)) ++lines;
    return lines > headerLines ? lines - headerLines : 0;
}

int table_header_lines(const std::string& file, bool vv) {
    if (vv) return 2;
    std::ifstream in(file, std::ios::binary);
    std::string first;
    std::getline(in, first);
    const std::size_t comma = first.find_last_of(',');
    std::string tag = comma == std::string::npos ? "" : first.substr(comma + 1);
    tag.erase(0, tag.find_first_not_of(' '));
    tag.erase(tag.find_last_not_of("\r ") + 1);
    return tag == "K7-V1.3" ? 1 : 2;
}

}  // namespace tavhost::core
