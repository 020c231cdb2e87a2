// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel add-device NAME [PASSWORD|-] [--cycles N] [--data-dir DIR]: Add Device to Network.
void addAddDeviceCommand(CLI::App& app, CliContext& context);

}  // namespace corvel
