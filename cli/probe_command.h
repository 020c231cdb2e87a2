// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel probe [--json]
void addProbeCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
