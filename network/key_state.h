// SPDX-License-Identifier: MIT
#pragma once

#include <optional>

#include "hp10codec/frames.h"
#include "platform/mac.h"

// What the key operations keep between calls. It lives for the whole process; the next scan or
// the next operation replaces it. The add in progress, which the refresh completes, is the
// device list's pendingAdd (scan/device_list.h).
namespace corvel {

struct MembershipKeyState {
    // The local HomePlug 1.0 / Turbo device's network key as it was before a random-key attempt,
    // so that a failed attempt, and an add or password check that follows, can put it back.
    Hp10Key savedLocalKey{};
    // Whether savedLocalKey holds a key read from the device (nothing was saved yet otherwise).
    bool savedLocalKeyValid = false;
    // The key the local HomePlug 1.0 device holds under key select 0 while remote work has lent
    // that select to a device's DEK; none once reapplyLocalKey gave it its own key back
    // (localParamBlock keeps the own key for that). The read-back of the device's block expects
    // it there.
    std::optional<Hp10Key> lentSelectZeroKey;
    // Set by the Set Device Password dialog before the check; the next keying of a device with
    // a network name consumes it.
    bool passwordCheckPending = false;
};

MembershipKeyState& membershipKeyState();
// Everything as at process start, the add in progress included.
void resetMembershipKeyState();

}  // namespace corvel
