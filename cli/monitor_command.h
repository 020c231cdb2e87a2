// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel monitor [--interval SECONDS] [--listen ADDRESS:PORT] [--json-lines] [--data-dir DIR]
void addMonitorCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
