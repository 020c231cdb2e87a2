// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "upgrade/upgrade_control.h"

// The firmware upgrade of the local HomePlug 1.0 / Turbo device on the selected interface: the
// device is reset into its secondary loader, the MAC image (*.IMG) and the sections of the
// configuration file (*.CFG) are written block by block, committed, verified and compared by
// checksum, and the device is reset. Reports only through the Notifier (caption "Error", or
// "Success" for "Firmware Update Successful"), waits only through the Clock. Not thread-safe,
// like the AV upgrade.
namespace corvel {

struct Hp10UpgradeFiles {
    std::string imagePath;   // *.IMG; required
    std::string configPath;  // *.CFG; empty = none
};

// How the upgrade reaches the secondary loader: by resetting the running device into it, or,
// resuming an upgrade that did not finish (cancelled, failed, a power cut), straight at the
// loader's own address, where such a device waits and answers nothing else.
enum class LoaderEntry { Reset, Resume };

// Nonzero on success. A cancel (checked before each frame) ends it without a message; the
// device then stays in its secondary loader, and an upgrade with LoaderEntry::Resume can run the
// whole transfer again.
int hp10UpgradeFirmware(const Hp10UpgradeFiles& files, UpgradeControl& control,
                        LoaderEntry entry = LoaderEntry::Reset);

// Both files read as the upgrade reads them, with the same messages, so that a front end can
// refuse them before the device is touched: a MAC image that cannot be read or is empty, a
// configuration file given that cannot be read.
bool checkHp10UpgradeFiles(const Hp10UpgradeFiles& files);

}  // namespace corvel
