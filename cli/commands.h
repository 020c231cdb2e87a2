// SPDX-License-Identifier: MIT
#pragma once

#include <iosfwd>

namespace corvel {

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;

// Runs one `corvel` command line, writing results to `out` and errors to `err`.
int runCli(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace corvel
