// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel set-network [NAME | --public] [--local-only] [--yes] [--data-dir DIR]
void addSetNetworkCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
