// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform/notifier.h"

// Every failure of an upgrade is a box with caption "Error" and the error icon.
namespace corvel {

void showUpgradeError(const std::string& text);

// The files of an upgrade, as their errors name them.
inline constexpr char kFirmwareImageRole[] = "firmware image";
inline constexpr char kPibRole[] = "parameter image (PIB)";
inline constexpr char kMacImageRole[] = "MAC image";
inline constexpr char kConfigFileRole[] = "configuration file";
// A file of the upgrade that could not be read or is not what it should be: `text` for the box,
// and for a front end that words it itself the file's role ("firmware image"), its path and why
// (`id` UpgradeFileUnreadable or UpgradeFileRefused).
void showUpgradeFileError(MessageId id, const std::string& text, const std::string& role,
                          const std::string& path, const std::string& reason);

}  // namespace corvel
