// SPDX-License-Identifier: MIT
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "tests/cli/terminal_input.h"

namespace corvel::test {

// One `corvel` command line run in-process, with what it wrote to each stream.
struct CliRun {
    int status;
    std::string out;
    std::string err;
};

// A run never reads the terminal the tests were started from: standard input is then
// /dev/null, unless a test put a terminal of its own there (TerminalInput).
inline CliRun corvel(std::vector<std::string> args) {
    args.insert(args.begin(), "corvel");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    int saved = -1;
    if (::isatty(STDIN_FILENO) && !TerminalInput::active()) {
        saved = ::dup(STDIN_FILENO);
        const int nothing = ::open("/dev/null", O_RDONLY);
        ::dup2(nothing, STDIN_FILENO);
        ::close(nothing);
    }
    std::ostringstream out, err;
    const int status = runCli(int(argv.size()), argv.data(), out, err);
    if (saved >= 0) {
        ::dup2(saved, STDIN_FILENO);
        ::close(saved);
    }
    return {status, out.str(), err.str()};
}

}  // namespace corvel::test
