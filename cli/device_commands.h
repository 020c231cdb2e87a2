// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

// The main page's device commands on the command line.
namespace corvel {

// corvel password MAC PASSWORD [--data-dir DIR]: Set Device Password.
void addPasswordCommand(CLI::App& app, CliContext& context);
// corvel add-device NAME PASSWORD [--cycles N] [--data-dir DIR]: Add Device to Network.
void addAddDeviceCommand(CLI::App& app, CliContext& context);
// corvel rename MAC NAME [--data-dir DIR]
void addRenameCommand(CLI::App& app, CliContext& context);
// corvel remove MAC [--yes] [--data-dir DIR]
void addRemoveCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
