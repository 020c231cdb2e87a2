// SPDX-License-Identifier: MIT
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace corvel::test {

// One `corvel` command line run in-process, with what it wrote to each stream.
struct CliRun {
    int status;
    std::string out;
    std::string err;
};

inline CliRun corvel(std::vector<std::string> args) {
    args.insert(args.begin(), "corvel");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    std::ostringstream out, err;
    const int status = runCli(int(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

}  // namespace corvel::test
