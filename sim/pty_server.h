// Serves the simulator engine on a pseudo-terminal, as servo-sim does.
#pragma once

#include <csignal>
#include <string>

namespace tavsim {

struct ServerOptions {
    std::string state;          // state file
    std::string link;           // symlink made to point at the pseudo-terminal
    std::string log;            // frame log, empty for none
    int baud = 38400;           // for the wire-time emulation
    bool wireTime = true;       // answer no sooner than the bytes would take on a real line
    double turnaroundMs = 0.5;  // device reaction time between request and reply
};

// Runs until *stop is set (by a signal handler); *reload asks to re-read the
// state file. Prints one ready line on standard output. Returns the exit code.
int run_pty_server(const ServerOptions& o, volatile std::sig_atomic_t* stop, volatile std::sig_atomic_t* reload);

}  // namespace tavsim
