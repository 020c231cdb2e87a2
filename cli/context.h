// SPDX-License-Identifier: MIT
#pragma once

#include <ostream>
#include <string>

#include "cli/json_output.h"

namespace corvel {

// What a command needs from the command line's run: where to write, and the exit status it sets.
struct CliContext {
    std::ostream& out;
    std::ostream& err;
    int status = 0;
    // Set when the command was asked for --json: errors then go to standard output as one JSON
    // object, so a script reads a single document whatever happened.
    bool json = false;
    // -q: only results and errors; what only informs or shows progress is left out.
    bool quiet = false;
    // --yes: every question of the command is answered yes without asking.
    bool yes = false;

    // One clear line on standard error (or the JSON error object); returns the status to exit
    // with.
    int fail(int exitStatus, const std::string& message) {
        if (json)
            out << jsonLine({{"error", message}, {"status", exitStatus}}) << '\n';
        else
            err << "corvel: " << message << '\n';
        status = exitStatus;
        return exitStatus;
    }
};

}  // namespace corvel
