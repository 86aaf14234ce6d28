// Terminal side of the loader: commands, UTF-8 output, exit codes.
#pragma once

#include <string>
#include <vector>

namespace tavhost {

int run(int argc, char** argv);
// The guided loader session against the installation's line.
int cmd_demo(const std::vector<std::string>& args);

// Code page 932 text from the library as UTF-8 for the terminal.
std::string to_utf8(const char* cp932);
// The catalogue message of a result code, as UTF-8.
std::string message(int code);

}  // namespace tavhost
