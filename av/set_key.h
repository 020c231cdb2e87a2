// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "av/exchanges.h"
#include "platform/mac.h"

// The set-key requests that the membership operations need: one that sets the local device's
// own network key and waits for it, and one, built without sending, that the local device
// forwards to the remote device whose DAK protects it.
namespace corvel {

using NetworkKey = std::array<uint8_t, 16>;

// All zero bytes is no key: what a device answers before any key was set.
inline bool keyIsSet(const NetworkKey& key) {
    return std::any_of(key.begin(), key.end(), [](uint8_t b) { return b != 0; });
}

// Results of a set-key operation.
inline constexpr int kSetKeyFailed = 0;
inline constexpr int kSetKeyAvConfirmed = 4;

// Sets `nmk` on the selected interface's local device (the station table's localMac) and waits
// up to 100 ms: 4 when the device confirmed with status 0, else 0. Sends nothing and returns 0
// while the host's source address is all zero.
int sendLocalSetKey(const NetworkKey& nmk);

// Builds into `out` the request that installs `nmk` on the remote device `rda`, protected by
// that device's `dak`, addressed to the selected interface's local device. Returns the frame
// length (64), or 0 when it could not be encoded.
int buildRemoteSetKey(AvRequestBuffer& out, const Mac& source, const Mac& rda,
                      const NetworkKey& nmk, const NetworkKey& dak);

}  // namespace corvel
