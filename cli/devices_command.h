// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel devices [--json] [--data-dir DIR]
void addDevicesCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
