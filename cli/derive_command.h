// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel derive nmk|dak|nek TEXT
void addDeriveCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
