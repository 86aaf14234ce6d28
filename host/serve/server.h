// `tav serve`: the loader as a local web application. The server is one more
// front end over the host core; it holds the sets a browser edits (one of
// each kind, like the --file of a command) and runs one device operation at
// a time, with its progress pushed to the browsers as Server-Sent Events.
#pragma once

#include <cstdio>
#include <string>

#include "host/core/texts.h"

namespace tavhost::serve {

struct ServeOptions {
    std::string bind = "127.0.0.1";
    int port = 8765;         // 0: any free port
    core::Lang lang = core::Lang::En;
    std::string webDir;      // "" : share/tav-web beside the program
    std::string token;       // "" : a new random token
    std::string tool;        // "tav 1.00": the writer named in a backup's manifest
};

// Serves until SIGINT/SIGTERM; prints the start URL (with the token) on `out`
// and a warning on stderr when bound to an address other than loopback.
// Returns the exit status.
int serve(const ServeOptions& options, FILE* out);

}  // namespace tavhost::serve
