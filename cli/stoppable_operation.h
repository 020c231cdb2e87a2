// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "cli/context.h"
#include "cli/interrupt.h"
#include "network/operation_stop.h"
#include "platform/cancel_request.h"

// What the commands that change network keys (set-network, add-device, password) share: while
// one lives, Ctrl-C or SIGTERM do not end the process but ask the membership operation to stop
// at its next safe point (network/operation_stop.h). The first one says so; the operation puts
// back what it changed, and the command then says how that went and what is left to run, and
// exits with 128 plus the signal's number (130 for Ctrl-C).
namespace corvel {

class StoppableOperation {
public:
    explicit StoppableOperation(CliContext& context);
    StoppableOperation(const StoppableOperation&) = delete;
    StoppableOperation& operator=(const StoppableOperation&) = delete;

    // Whether a stop was asked for (also before the operation started).
    bool stopRequested() const { return request_.cancelRequested(); }
    // What names the networks in the hints: the name the local device's network had when the
    // operation started ("" or "Unknown Networkname" when not known), the name being set.
    void networks(std::string previous, std::string next = {});

    // Ends the command after a stop before anything was sent: nothing changed.
    void stoppedBeforeStart();
    // Ends the command after the operation was stopped: what was put back and, for what was not,
    // the command that mends it. `finished` says what a stop after the keys were all given left
    // out.
    void stopped(const std::string& finished);

private:
    CliContext& context_;
    CancelRequest request_;
    InterruptGuard guard_;
    OperationStopScope scope_;
    std::string previous_;
    std::string next_;
};

}  // namespace corvel
