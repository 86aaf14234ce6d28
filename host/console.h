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

// --json (anywhere on the command line): the read and show commands print one
// JSON document on stdout instead of their tables; progress bars stay off stdout.
bool json_output();
// A JSON string literal of UTF-8 text (quotes, backslashes and control characters escaped).
std::string json_text(const std::string& utf8);
// With --json, sends what is printed on stdout to stderr while it lives (the
// progress bar of a transfer), so that stdout carries the document only.
class BarsToStderr {
public:
    BarsToStderr();
    ~BarsToStderr();
    BarsToStderr(const BarsToStderr&) = delete;
    BarsToStderr& operator=(const BarsToStderr&) = delete;

private:
    int saved_ = -1;
};
// A JSON number (shortest form that reads back the same; null for NaN and infinities).
std::string json_number(double value);

}  // namespace tavhost
