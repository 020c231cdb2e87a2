// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>

#include "cli/context.h"
#include "store/database.h"
#include "scan/scan.h"
#include "platform/notifier.h"

namespace corvel {

// What the commands that act on the devices share: the session of the device list (cli/session.h)
// with messages as "title: text" on standard error and questions answered by --yes, the scan
// cycle on the real clock, the refresh that merges the stations into the device list and hands
// an add in progress to its device.
class DeviceSession {
public:
    DeviceSession(CliContext& context, bool confirm);
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // False, with the status set, when the database could not be opened.
    bool open(const std::string& dataDir);
    // The progress texts of the Add Device (`add`) or Set Device Password dialog go to standard
    // error while this session lasts.
    void showProgress(bool add);
    // What the main page does when it starts: one full scan and the refresh. Whether a local
    // device answered.
    bool startPage();
    // What the main page has run before its buttons can be pressed: startPage, then one scan
    // cycle, so that a plain 1.0 local device's parameter block and network key are known
    // before a command acts on it. Whether a local device answered.
    bool prepareLocalDevice();
    // Scan cycles until `cycles` more full scans have run, `done` holds, or the scan stopped.
    // With autoscan off in the preferences the scans are asked for, as Scan and Connect do.
    void runCycles(int cycles, const std::function<bool()>& done = {});
    // Whether a refresh handed the add in progress to its device.
    bool addAdopted() const { return adopted_; }
    // The scan stopped and the database saved; false (status 1, with the path and the reason on
    // standard error) when saving failed.
    bool finish(WhenEmpty whenEmpty = WhenEmpty::KeepFile);

private:
    CliContext& context_;
    StreamNotifier notifier_;
    ClockScanTimer timer_;
    int fullScans_ = 0;
    bool adopted_ = false;
};

// The device of the MAC address `macText` in the device list (1-based), or 0 after saying so
// (status 1).
int listedDevice(const std::string& macText, CliContext& context);

// "NAME (MAC)" of the device list's `record` (1-based).
std::string describeDevice(int record);

// "Public" when the selected interface's network carries its family's default name, else
// "Private", as the main page's network-type label reads.
std::string networkTypeText();

}  // namespace corvel
