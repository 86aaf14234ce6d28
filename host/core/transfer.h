// Transfers with progress and cancel. A front end shows progress through a
// ProgressView; Ctrl-C (SIGINT, and SIGTERM/SIGHUP alike) never ends the
// process in the middle of a command: it writes the cancel code into the
// set whose transfer runs, the library stops at its next exchange with -31,
// and the command unwinds, so that every guard (the selection in servo.con)
// is put back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace tavhost::core {

class ProgressView {
public:
    virtual ~ProgressView() = default;
    // 0..100 as the library reports it, on the library's thread.
    virtual void rate(unsigned percent) = 0;
    // After the transfer; completed: it succeeded (the view shows 100 %).
    virtual void end(bool completed) = 0;
};

// For the lifetime of one command: interrupt signals set a flag instead of
// ending the process. Restores the previous handlers when it ends.
class InterruptScope {
public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;
};

// True once Ctrl-C was pressed during the command.
bool interrupted();
// Forgets a Ctrl-C that was handled (the session goes on to put the devices back).
void reset_interrupt();
// What Ctrl-C does, for a front end without a terminal (a browser's Cancel
// button): the running transfer's cancel field gets -31 and interrupted() is
// true until reset_interrupt().
void request_cancel();

// The cancel field of a data set. The sets are packed, so the field is
// handed on as bytes and written with memcpy, never through an int32_t*.
template <class Set>
void* cancel_field(Set* set) {
    return reinterpret_cast<unsigned char*>(set) + offsetof(Set, nCancel);
}

// Runs one library transfer with its progress shown on `view` (may be null)
// and Ctrl-C writing -31 into the cancel field. Returns the transfer's
// result; -31 when it was interrupted before it started.
int run_transfer(void* cancel, ProgressView* view, const std::function<int()>& op);

}  // namespace tavhost::core
