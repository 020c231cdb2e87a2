// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// The user's own changes to the device list: a new name, and a device deleted.
namespace corvel {

enum class RenameResult {
    renamed,
    refused,       // the name was refused with its message; nothing changed
    noSuchDevice,  // nothing was shown and nothing changed
};

// Renames device `record` (1-based) while the scan is paused. A name of 32 or more characters
// is cut to its first 31 with "Device Name should be less than 31 characters"; then an empty
// name, or one any device already has (this one included), is refused with "Please enter
// another name." and nothing changes. Otherwise the name is stored and the database saved.
RenameResult renameDevice(int record, std::string name);

enum class DeleteResult {
    deleted,
    declined,      // the user kept the device when asked
    noSuchDevice,  // "Please select a device first by clicking on it." has been shown
};

// Deletes device `record` (1-based): "A Password for this device has been entered. \nAre you
// sure you want to delete it?" ("Attention!", Yes / No) first when it has a password, and No
// keeps it. Its station leaves the selected interface's table and its record the list, and the
// database is saved at once, as the empty list when it was the last device.
DeleteResult deleteDevice(int record);

}  // namespace corvel
