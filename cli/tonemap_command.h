// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel tonemap MAC [--rx] [--slot N] [--json|--csv]
void addToneMapCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
