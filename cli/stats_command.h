// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel stats MAC [--json]
void addStatsCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
