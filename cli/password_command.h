// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel password MAC [PASSWORD|-] [--data-dir DIR]: Set Device Password.
void addPasswordCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
