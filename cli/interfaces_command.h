// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel interfaces [--json]
void addInterfacesCommand(CLI::App& app, CliContext& context);

// Enumerates and opens the host interfaces. False, with a one-line reason on standard error,
// when none can be listed or none can be opened for capture (for instance without the right to
// capture).
bool openHostInterfaces(CliContext& context);

}  // namespace corvel
