// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/mac.h"

// The restart of an AV device as the user asks for it: the reset request, then the wait until
// the device has gone quiet and answers again. The command line and the desktop program both run
// it; each shows the wait in its own way through the watch.
namespace corvel {

// A device confirms its reset and then restarts; one that still answers this long afterwards
// did not restart.
inline constexpr uint32_t kRestartSilentWithinMs = 5000;
// How long a restarted device may take to answer again, counted from its confirmation.
inline constexpr uint32_t kRestartBackWithinMs = 60000;

struct RestartWatch {
    // The device confirmed its reset: the wait begins.
    std::function<void()> confirmed;
    // The device has gone quiet, and again after every request it left unanswered since: the
    // milliseconds since its confirmation.
    std::function<void(uint64_t sinceResetMs)> waiting;
};

struct RestartOutcome {
    bool back = false;
    uint64_t backAfterMs = 0;  // from the confirmation to the first answer after the silence
    // Without `back`: one sentence saying what went wrong, naming the device.
    std::string error;
};

RestartOutcome restartDevice(const Mac& device, const RestartWatch& watch = {});

// "12.3 s".
std::string restartSeconds(uint64_t ms);

}  // namespace corvel
