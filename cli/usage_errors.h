// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <string_view>
#include <vector>

// What a usage error says: the word the user typed that was not understood, what it was taken
// for, and the nearest word the command knows.
namespace corvel {

// The innermost subcommand the user named, whose usage fits the error best.
const CLI::App* deepestSubcommand(const CLI::App& app);

// The message of a parse error of `app` (the whole command line), without "corvel: ": an
// unknown command or option is named and the nearest known one suggested ("unknown command
// 'scna'; did you mean 'scan'?"); other errors keep their own words behind the command's name.
std::string usageErrorText(const CLI::App& app, const CLI::ParseError& error);

// The candidate nearest to `word` when it is close enough to be a slip of the keyboard (a
// letter missing, added, changed or two swapped), else "".
std::string nearestWord(std::string_view word, const std::vector<std::string>& candidates);

}  // namespace corvel
