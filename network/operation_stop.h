// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

#include "platform/cancel_request.h"
#include "platform/mac.h"

// Stopping a membership operation (Add Device, Set All Devices, Set Local Device Only, a
// password check) before its end: Ctrl-C or SIGTERM on the command line, Cancel or the window
// closed in the desktop program. The operation stops only at a safe point, between two exchanges
// with the devices or in a wait between its steps, never with a key half given; what it changed
// is then put back, and lastStop() tells how that went.
namespace corvel {

// Thrown at a safe point once a stop was asked for. Not a std::exception: the operations' own
// handlers of unexpected failures must not take it for one.
struct OperationStopped {};

// The request the running operation answers to; none (the default) while nothing can stop it.
void installStopRequest(CancelRequest* request);
CancelRequest* stopRequest();
// Whether a stop was asked for the running operation.
bool stopRequested();

// What a stopped operation left, for the front end to tell.
struct StopReport {
    // The operation ended at a safe point because a stop was asked for.
    bool stopped = false;
    // The stop came after the keys were all given: nothing was undone, only the waits and scans
    // that follow were left out.
    bool finished = false;
    // The local device is on the key it had before the operation (or never left it).
    bool localBack = true;
    // Devices left on the operation's new key (Set All Devices) or on the random key of a search
    // (Add Device): putting them back failed, or their earlier key is not known.
    std::vector<Mac> devicesLeft;
    // Add Device: the device of the password took the search's random key and stays on it
    // (its address in devicesLeft once known); another add finds it by its password.
    bool addedDeviceLeft = false;
};

// Installs `request` (with a fresh lastStop) for the lifetime of the scope.
class OperationStopScope {
public:
    explicit OperationStopScope(CancelRequest& request);
    ~OperationStopScope();
    OperationStopScope(const OperationStopScope&) = delete;
    OperationStopScope& operator=(const OperationStopScope&) = delete;
};

// The report of the operation that runs under the OperationStopScope in place (as it was when
// that scope began while no operation has stopped); a scope's end clears it.
StopReport& lastStop();
// Whether the operation under the scope in place was stopped (false without a scope).
bool operationStopped();

// A safe point: throws OperationStopped once a stop was asked for, except while keys are being
// put back.
void stopPoint();
// A wait between two steps (pauseMs) that is a safe point every millisecond of it.
void pauseOrStop(uint32_t ms);

// While one lives, safe points go on: what puts the keys back after a stop, or a step that is
// itself the way back onto the network, runs to its end.
class PuttingBack {
public:
    PuttingBack();
    ~PuttingBack();
    PuttingBack(const PuttingBack&) = delete;
    PuttingBack& operator=(const PuttingBack&) = delete;
};

}  // namespace corvel
