// SPDX-License-Identifier: MIT
#pragma once

#include <ctime>
#include <string>

#include "platform/mac.h"

// The user's device list follows what the scan sees: every station that answers through the
// selected interface's local device gets a device record, and the devices the main page lists
// (HomePlug AV stations) carry the network they were last seen on and when. Each front end runs
// this from its refreshView hook, so the GUI and the command line keep the same list.
namespace corvel {

// An Add Device operation waiting for its device to show up: the name and password the user
// gave, and the device's address when it is known (all zero when not).
struct PendingAdd {
    bool active = false;
    std::string name;
    std::string password;
    Mac expectedMac{};
};

// The process's one add in progress: the Add Device operation sets it, the add fills it (and a
// Turbo device answering by password gives it its address), the refresh hands it to the device
// when that shows up, and every failure clears it.
PendingAdd& pendingAdd();
// No add in progress (tests).
void resetPendingAdd();

struct MergeOutcome {
    int appended = 0;           // new device records
    int refused = 0;            // stations left out because the list holds 32 records
    bool pendingTaken = false;  // the pending add found its device; the Add Device dialog closes
};

// With the selected interface's local device present, each present station that has no device
// record gets one (all fields zero but its MAC and name): the pending add's name and password
// when it waits for this station, else a default name ("Device n"). A pending add with a known
// address is only ever given to the station with that address, new or already listed; one
// without waits for the first new station. Then each present HomePlug AV station other than the
// local device has its record's networkName set to the selected station table's network name
// and its lastSeen to `now`.
MergeOutcome mergeStationsIntoDevices(std::time_t now, PendingAdd* pendingAdd = nullptr);

}  // namespace corvel
