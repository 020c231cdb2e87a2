// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>
#include <cstddef>
#include <optional>
#include <string>

#include "cli/context.h"

// A device password taken from the user rather than from the command line, where every user of
// the machine can read it in the process list.
namespace corvel {

// The longest line kept; the rest of a longer line is read and dropped.
inline constexpr size_t kSecretLineLimit = 1024;

// Shows `prompt` on the terminal `fd` and reads one line from it with echo off. The terminal's
// settings are restored on every way out: the line read, the end of input, a failure, and a
// signal that ends or stops the program (Ctrl-C, Ctrl-\, hang-up, termination, Ctrl-Z). Such a
// signal takes its usual effect once the terminal is restored; after Ctrl-Z the prompt is shown
// again when the program goes on. The line comes back without its line end, empty when the user
// entered nothing or ended the input. None, with the reason in `error`, when `fd` is no terminal,
// reading failed, or a signal the program ignores interrupted the prompt.
std::optional<std::string> readSecretFromTerminal(int fd, const std::string& prompt,
                                                  std::string& error);

// One line from `fd` (a pipe or a file, for scripts) without its line end ("\n" or "\r\n");
// empty at the end of input. None, with the reason in `error`, when reading failed.
std::optional<std::string> readSecretLine(int fd, std::string& error);

// The password boxes of the dialogs read at most this much.
inline constexpr size_t kPasswordBoxRead = 25;

// The optional PASSWORD argument of `password MAC [PASSWORD|-]` and `add-device NAME
// [PASSWORD|-]`, stored in `password`.
CLI::Option* addPasswordArgument(CLI::App& command, std::string& password);

// The password of that argument: as given; when not `given`, asked for on the terminal with
// `prompt` and echo off; with "-", one line of standard input (asked for in the same way when
// standard input is the terminal). None after saying why (status 1).
std::optional<std::string> passwordOf(bool given, const std::string& password,
                                      const std::string& prompt, CliContext& context);

// Whether passwordOf takes that argument's password out of sight (typed without echo, or read
// from standard input): the commands then never show it, their success lines included.
bool passwordKeptOutOfSight(bool given, const std::string& password);

}  // namespace corvel
