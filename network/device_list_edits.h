// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// The user's own changes to the device list: a new name, and a device deleted.
namespace corvel {

// Renames device `record` (1-based) while the scan is paused. A name of 32 or more characters
// is cut to its first 31 with "Device Name should be less than 31 characters"; then an empty
// name, or one any device already has (this one included), is refused with "Please enter
// another name." and nothing changes. Otherwise the name is stored and the database saved.
// False, changing nothing, for a record that does not exist.
bool renameDevice(int record, std::string name);

// Deletes device `record` (1-based): "A Password for this device has been entered. \nAre you
// sure you want to delete it?" ("Attention!", Yes / No) first when it has a password, and No
// keeps it. Its station leaves the selected interface's table and its record the list, and the
// database is saved at once, as the empty list when it was the last device. A record that does
// not exist: "Please select a device first by clicking on it.".
bool deleteDevice(int record);

}  // namespace corvel
