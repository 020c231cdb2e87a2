// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel rename MAC NAME [--data-dir DIR]
void addRenameCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
