// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>

#include "cli/context.h"
#include "store/database.h"
#include "scan/scan.h"

namespace corvel {

// What the commands that act on the devices share: the session of the device list (cli/session.h)
// with the questions of the shared layers answered yes when `confirm` (--yes), the scan cycle on
// the real clock, the refresh that merges the stations into the device list and hands
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
    // error while this session lasts, unless -q.
    void showProgress(bool add);
    // What the main page does when it starts: one full scan and the refresh. Whether a local
    // device answered.
    bool startPage();
    // What the main page has run before its buttons can be pressed: startPage, then one scan
    // cycle, so that a plain 1.0 local device's parameter block and network key are known
    // before a command acts on it. Whether a local device answered.
    bool prepareLocalDevice();
    // prepareLocalDevice; when no local device answered, the session finished and the cause
    // said (status 1): no interface to scan, one that could not be opened, or no adapter
    // answering on any, followed by `consequence` ("nothing was changed").
    bool requireLocalDevice(const std::string& consequence);
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
    ClockScanTimer timer_;
    int fullScans_ = 0;
    bool adopted_ = false;
};

// The device of the MAC address `macText` in the device list (1-based), or 0 after saying so
// (status 1).
int listedDevice(const std::string& macText, CliContext& context);

// Why no local device answered: no interface to scan, none that could be opened, or no adapter
// answering on any.
std::string noAdapterCause();

// "NAME (MAC)" of the device list's `record` (1-based).
std::string describeDevice(int record);

// The checks of a new device name, as Add Device makes them: not empty, at most 31 characters,
// no other device's; and, as no device list shows it, not only spaces. False after saying why
// (status 1).
bool deviceNameAccepted(const std::string& name, CliContext& context);

// "Public" when the selected interface's network carries its family's default name, else
// "Private", as the main page's network-type label reads.
std::string networkTypeText();

}  // namespace corvel
