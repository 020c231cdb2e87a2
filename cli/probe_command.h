// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "cli/context.h"

namespace corvel {

// corvel probe [--json]
void addProbeCommand(CLI::App& app, CliContext& context);

// How probe and upgrade name a Turbo device that an upgrade left in its secondary loader, and
// the command that finishes that upgrade.
inline constexpr const char* kWaitingLoaderText =
    "a HomePlug 1.0 Turbo device in its loader (an upgrade did not finish)";
inline constexpr const char* kResumeCommand = "corvel upgrade --img FILE [--cfg FILE] --resume";

}  // namespace corvel
