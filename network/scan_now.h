// SPDX-License-Identifier: MIT
#pragma once

// The immediate scan the commands ask for after changing keys, names or the device list: a full
// scan at once and the cycle restarted, whether autoscan is on or not.
namespace corvel {

// Asks the cycle for a scan (scanNowRequested), then rescan. When no local device answered the
// user is told ("HomePlug Adapter NOT DETECTED") and the capture interfaces are closed, unless
// a Set Local Device Only succeeded earlier in this run: the device restarts after a key change
// and may be away for a while. The local list is rebuilt (operationHooks().localListRebuilt) and
// the stations are cleared again. An unexpected failure is reported in the "SCAN NETWORK" box.
// Returns whether a local device answered.
bool scanNow();

// After a successful Set Local Device Only: scanNow stays quiet about a missing adapter for the
// rest of the run.
void quietMissingAdapter();
bool missingAdapterQuiet();
// As at process start (tests).
void resetScanNow();

}  // namespace corvel
