// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel scan [--cycles N] [--json] [--data-dir DIR]
void addScanCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
