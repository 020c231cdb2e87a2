// SPDX-License-Identifier: MIT
#pragma once

#include <optional>

#include "hp10/frames.h"
#include "platform/mac.h"

// What the key operations keep between calls. It lives for the whole process; the next scan or
// the next operation replaces it.
namespace corvel {

struct MembershipKeyState {
    // The local HomePlug 1.0 / Turbo device's network key as it was before a random-key attempt,
    // so that a failed attempt, and an add or password check that follows, can put it back.
    Hp10Key savedLocalKey{};
    // Whether savedLocalKey holds a key read from the device (nothing was saved yet otherwise).
    bool savedLocalKeyValid = false;
    // The add in progress (pendingAdd): its flag, set by the Add Device dialog, and the address
    // of the device being added, learnt when a Turbo device answers by password (all zero while
    // unknown).
    bool addPending = false;
    Mac addExpectedMac{};
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
// Everything as at process start.
void resetMembershipKeyState();

}  // namespace corvel
