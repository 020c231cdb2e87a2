// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel upgrade --nvm FILE --pib FILE [--yes] [--data-dir DIR]     (AV local device)
// corvel upgrade --img FILE [--cfg FILE] [--yes] [--data-dir DIR]   (Turbo local device)
void addUpgradeCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
