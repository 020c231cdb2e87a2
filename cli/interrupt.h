// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform/cancel_request.h"

// Ctrl-C (SIGINT) and SIGTERM while a command runs an operation that must not be cut off in the
// middle (a firmware upgrade, a change of network keys): instead of ending the process they ask
// the operation to stop at its next safe point, and the command ends when it has.
namespace corvel {

class InterruptGuard {
public:
    // `warning` is written to standard error at the first signal. With `stopAtOnce` the first
    // signal asks `target` to stop; otherwise the first SIGINT only warns, followed by `again`,
    // and a second one asks. SIGTERM, which no one types by mistake, always asks at once.
    // Signals after the stop was asked are noted and do nothing more. After pastStopping(), a
    // signal asks nothing and only writes `late`.
    InterruptGuard(CancelRequest& target, bool stopAtOnce, std::string warning,
                   std::string again = {}, std::string late = {});
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // The operation of the guard in place has gone past its last safe point (an upgrade whose
    // last frame the device confirmed): from now on stopping it is no longer possible.
    static void pastStopping();

    // The signal that asked for the stop (SIGINT or SIGTERM); 0 while none has.
    int stopSignal() const;
    // The status a command ends with after a stop: 128 plus the signal's number, as a shell
    // reports a command the signal ended (130 for Ctrl-C).
    int exitStatus() const;
};

}  // namespace corvel
