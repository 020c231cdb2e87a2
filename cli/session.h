// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "cli/context.h"

namespace corvel {

// What the commands that use the device list share with the GUI: the preferences, the vendor
// list, the data directory (or `dataDirOverride`) and the device database, the device log, and
// the refresh that merges the stations seen into the device list. Messages go to standard error
// as "title: text". False, with the reason on standard error, when the database could not be
// read.
bool openSession(const std::string& dataDirOverride, CliContext& context);

// Saves the device database as the main page does when it closes; false (and status 1) when that
// failed, after the "Problem Occurred" message.
bool saveSession(CliContext& context);

}  // namespace corvel
