// Helpers shared by the data-set commands of the host: failure reports,
// number parsing, the page kind of a file name, and transfers run with a
// progress bar and Ctrl-C mapped to the set's cancel request.
#pragma once

#include <functional>
#include <string>

namespace tavhost {

// Prints "step: code  message" on stderr (after flushing stdout so the order
// of what was printed stays); the exit status of a failed command, 1.
int fail(const char* step, int code);

// A whole text as a number; false for empty text or trailing characters.
bool number(const std::string& text, double& out);
bool integer(const std::string& text, int& out);

// The page kind a file name's extension stands for: .syp 1, .hsp 2, else 0
// (case-insensitive).
int kind_of(const std::string& file);

// Runs a transfer with the progress window set: every progress message draws
// the bar on stdout. Ctrl-C requests a cancel: at the next progress message
// `cancel` is called (on the library's thread) to write the set's cancel
// field. A second Ctrl-C ends the process. The bar is ended by a line feed.
short with_progress(const std::function<void()>& cancel, const std::function<short()>& op);

}  // namespace tavhost
