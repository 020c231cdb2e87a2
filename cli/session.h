// SPDX-License-Identifier: MIT
#pragma once

#include <stdexcept>
#include <string>

#include "cli/context.h"
#include "store/database.h"

namespace corvel {

// What the commands that use the device list share with the GUI: the preferences, the vendor
// list, the data directory (or `dataDirOverride`) and the device database, the device log, and
// the refresh that merges the stations seen into the device list. Messages go through the
// installed notifier (cli/terminal_notifier.h). False, with the reason on standard error, when the database could not be
// read. A command that only shows the list opens it with LoadMode::ReadOnly, so that it never
// renames or changes a file.
// `load`, when given, receives how the database was read. A `dataDirOverride` that names
// anything but a directory is refused before anything is read.
bool openSession(const std::string& dataDirOverride, CliContext& context,
                 LoadMode mode = LoadMode::SetAside, DatabaseLoad* load = nullptr);

// Saves the device database as the main page does when it closes. False, with status 1 and the
// file's path and the system's reason on standard error, when this save or an earlier one of the
// session failed (a command must then print no success line).
bool saveSession(CliContext& context, WhenEmpty whenEmpty = WhenEmpty::KeepFile);

// Thrown when every interface refused capture for want of privileges. The command ends there:
// reporting a missing adapter, or writing a report that says none is connected, would not be
// true. The command line prints the text and exits 1.
class CaptureNotPermitted : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Opens the interfaces for capture; throws CaptureNotPermitted, saying how to grant the
// privileges, when none could be opened for want of them.
void requireCapture();
// The same check on the interfaces as they were opened last.
void refuseUnpermittedCapture();

}  // namespace corvel
