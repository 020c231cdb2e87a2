// SPDX-License-Identifier: MIT
#pragma once

#include <ostream>
#include <string>

namespace corvel {

// What a command needs from the command line's run: where to write, and the exit status it sets.
struct CliContext {
    std::ostream& out;
    std::ostream& err;
    int status = 0;

    // One clear line on standard error; returns the status to exit with.
    int fail(int exitStatus, const std::string& message) {
        err << "corvel: " << message << '\n';
        status = exitStatus;
        return exitStatus;
    }
};

}  // namespace corvel
