// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>
#include <vector>

#include "platform/mac.h"

// Setting the network name: the private network's password, from which its key is derived
// (the NMK for an AV local device, the NEK for 1.0 and Turbo). It goes either on the local
// device alone, which isolates this computer, or on the local device and every known device
// whose device password has been entered.
namespace corvel {

// "Set Local Device Only": the key of `networkName` on the local device. On success the
// missing-adapter message is kept quiet for the rest of the run (the device restarts), the
// database is saved, and after 1000 ms (AV: 4000 ms) an immediate scan runs before "Local
// network set to '<name>'" ("Information"). On failure: "Unable to complete the command."
// ("Problem Occurred"). Returns the code of the local set (non-zero = success). A stop asked
// for during the waits after a successful set leaves out the rest (lastStop().finished).
int setLocalNetwork(std::string_view networkName);

struct SetAllOutcome {
    bool nameRefused = false;  // the name failed the character check: nothing was sent
    int devices = 0;           // device records at the start
    int added = 0;             // of those, the ones that took the key (the local device counts)
    int lastResult = 0;        // 1 when the last device tried took the key
    int localResult = 0;       // code of the local device's set, done last
    bool stopped = false;      // a stop was asked for: lastStop() tells what was put back
    // The device records, other than the local device, that are not on the new network: those
    // without a password and those that did not take the key, in table order.
    std::vector<Mac> missed;
};

// "Set All Devices": every device record with a password, in table order, gets the key of
// `networkName` through its own device password (the local device itself is counted as added
// without a frame); a device that takes it is recorded on the network (its networkName, and
// networkKey in the form the local device reports that key in). Devices without a password are
// skipped and count as not added. The local device is set last, from the station table's name.
// Then one summary: "All Devices are successfully added to the network." ("Information"),
// "Some Devices could not be added to your network." ("Attention!"), or nothing when no device
// took the key. A local device that did not take the key is reported instead of the summary
// ("Unable to complete the command.", "Problem Occurred"): the remote devices are on the new
// network without it. Finally 3000 ms, the database saved, 3000 ms, an immediate scan.
//
// A stop asked for (operation_stop.h) is taken before each device, between a device's attempts
// and in the final waits. Before the local device was set, every device that took the new key
// is given the local device's previous key again (its record as it was) and a 1.0 / Turbo local
// device gets its previous key back; no summary message, the database saved. After it, only the
// waits and the scan are left out. `stopped` is then set and lastStop() tells what was left.
SetAllOutcome setAllDevices(std::string_view networkName);

// "Use Default (Public Network)": "HomePlugAV" for an AV local device, else "HomePlug".
std::string_view defaultNetworkName();

enum class NetworkNameScope { localDeviceOnly, allDevices };

struct NetworkNameRun {
    enum class Outcome {
        refused,    // the name was refused with its message; nothing changed
        cancelled,  // Set All Devices was not confirmed: nothing was sent
        applied,    // the set operation ran (its own messages tell how it went)
        stopped,    // a stop was asked for while it ran: lastStop() tells what was put back
    };
    Outcome outcome = Outcome::refused;
    int localResult = 0;  // localDeviceOnly: setLocalNetwork's code
    SetAllOutcome all;    // allDevices
};

// The Privacy page's Set buttons, front-end neutral: the name checks (length, then characters,
// each refusal with the network-name message), the scan paused, the name marked pending for
// the next full scan and stored with its key (AV) in the selected station table, then
// Set Local Device Only (stations cleared first) or, after the "Network Name Setting "
// confirmation, Set All Devices (stations cleared, keepNameOnce). Then an immediate scan, and
// for a 1.0 / Turbo local device after Set Local Device Only one more and 1000 ms. The scan is
// resumed as found.
//
// A cancelled confirmation leaves the name and key stored in the station table but takes back
// the pending mark: nothing was sent, and the next full scan must name the network by the key
// the local device really holds, not label its old network with the new name.
//
// Stopped (setAllDevices, setLocalNetwork): the station table's name, key and pending mark go
// back to what they were when the local device is back on its key, and the immediate scans are
// left out.
NetworkNameRun applyNetworkName(std::string_view name, NetworkNameScope scope);

// Clear while Set All Devices asks and runs: the main page starts no scan of its own meanwhile.
bool networkSetIdle();

}  // namespace corvel
