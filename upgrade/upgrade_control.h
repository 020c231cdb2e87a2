// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>

#include "platform/cancel_request.h"

// What a front end shares with a running upgrade: how far it has come, and a request to stop.
// The upgrade looks at the request only between frames, so a stop never leaves half a frame on
// the wire nor a transfer prepared in the codec.
namespace corvel {

struct UpgradeProgress {
    uint32_t framesDone = 0;   // frames the device confirmed
    uint32_t framesTotal = 0;  // frames the whole transfer needs, finishing request included
    uint64_t bytesDone = 0;    // image bytes those frames carried
    uint64_t bytesTotal = 0;
    uint64_t elapsedMs = 0;  // on the installed clock, since the first frame went out
};

// requestCancel asks the upgrade to stop at its next frame boundary; safe from any thread.
class UpgradeControl : public CancelRequest {
public:
    // Called on the upgrade's own thread after each confirmed frame; may stay empty. A GUI
    // posts the values to its own thread from here.
    std::function<void(const UpgradeProgress&)> progress;
};

enum class UpgradeOutcome { Upgraded, Failed, Cancelled };

// The warning shown before a running upgrade is stopped.
inline constexpr const char* kCancelWarningTitle = "Warning....";
inline constexpr const char* kCancelWarningText =
    "Cancelling Upgrade process may destroy the device. Click Ok to continue.";

// Shows the warning through the Notifier (OK and Cancel); true when the user chose OK. The
// caller then calls requestCancel on the running upgrade's control.
bool confirmUpgradeCancel();

}  // namespace corvel
