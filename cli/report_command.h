// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel report [FILE] [--no-passwords] [--data-dir DIR]
void addReportCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
