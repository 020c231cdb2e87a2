// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel restart MAC|--local [--yes]
void addRestartCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
