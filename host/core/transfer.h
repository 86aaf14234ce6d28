// Transfers with progress and cancel. A front end shows progress through a
// ProgressView; Ctrl-C (SIGINT, and SIGTERM/SIGHUP alike) never ends the
// process in the middle of a command: it writes the cancel code into the
// set whose transfer runs, the library stops at its next exchange with -31,
// and the command unwinds, so that every guard (the selection in servo.con)
// is put back.
#pragma once

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

// Runs one library transfer with its progress shown on `view` (may be null)
// and Ctrl-C mapped to *cancel = -31. Returns the transfer's result; -31 when
// it was interrupted before it started.
int run_transfer(int32_t* cancel, ProgressView* view, const std::function<int()>& op);

}  // namespace tavhost::core
