// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel nvm check FILE [--json]
void addNvmCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
