// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel remove MAC [--yes] [--data-dir DIR]
void addRemoveCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
