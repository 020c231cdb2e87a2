// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel pib check FILE [--json] | corvel pib set-mac FILE MAC
void addPibCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
