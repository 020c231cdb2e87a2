// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "upgrade/upgrade_control.h"

// The firmware upgrade of the local AV device on the selected interface: the firmware image
// (*.NVM, module 1) and the parameter image (*.PIB, module 2) are checked, the PIB is given the
// local device's MAC address and a new checksum, and both are streamed to the device chunk by
// chunk, finished by a module commit or a start request as the device's chip and configuration
// block ask. Reports only through the Notifier and waits only through the Clock. Not
// thread-safe: it uses the process's one codec transfer, the transport and the core tables, so
// the caller switches the scan off and touches none of them until it returns.
namespace corvel {

struct AvUpgradeFiles {
    std::string firmwarePath;  // *.NVM
    std::string pibPath;       // *.PIB
};

// The transfer options for the local chip and the configuration block's verdict (upgradeCommits):
//   "QRB1000", commits: 0x23 module write, then module commit
//   "QRB1000", no commit: 0x22 module write, then start request
//   other chip, commits: 0x13 module write, then module commit carrying 0x10
//   other chip, no commit: 0x00 memory write, then start request
uint32_t avUpgradeOptions(std::string_view chipName, bool commits);

// Reads, checks, patches and sends both files to the local device, using localChipName and
// upgradeCommits as the last discovery and readFirmwareType left them. Upgraded when the device
// confirmed the last step. Every failure is shown with caption "Error" and the error icon; a
// cancel (checked before each frame) ends it without a message, with nothing left prepared.
UpgradeOutcome runAvUpgrade(const AvUpgradeFiles& files, UpgradeControl& control);

// What the front end does around the worker; each is called on the worker's thread and may
// stay empty.
struct UpgradeWorkerHooks {
    std::function<void()> hideFileDialog;  // before the upgrade starts
    std::function<void()> closeProgress;   // when it has ended, before the success message
};

// The body of the upgrade worker: hides the file dialog, runs runAvUpgrade and, on success,
// waits 10 000 ms (the device restarts meanwhile), closes the progress display and shows
// " Device Upgraded\n Device will now reboot, do not remove power. " with caption "Success".
// On failure or cancel it only closes the progress display.
UpgradeOutcome upgradeWorker(const AvUpgradeFiles& files, UpgradeControl& control,
                             const UpgradeWorkerHooks& hooks = {});

enum class UpgradeStart {
    confirmed,
    declined,      // the user did not confirm the device type
    filesMissing,  // "Please select a PIB and Firmware files\n" has been shown
};

// The checks before an AV upgrade starts: an empty path shows
// "Please select a PIB and Firmware files\n" (caption "Stop"); otherwise the question "Local
// Device is HomePlug AV Device\nMake sure you have selected correct files to upgrade firmware"
// (caption "Local Device Type", OK and Cancel) decides.
UpgradeStart confirmAvUpgradeStart(const AvUpgradeFiles& files);

// The wait between the device's last confirmation and the success message.
inline constexpr uint32_t kUpgradeRestartWaitMs = 10000;
// How long each chunk's confirmation may take before it counts as lost, and the pause between
// a confirmation and the next chunk.
inline constexpr uint32_t kChunkConfirmWindowMs = 100;
inline constexpr uint32_t kChunkPauseMs = 1;

}  // namespace corvel
