// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

#include "platform/mac.h"

// What the membership operations pass around: a device to be keyed and the outcome codes of
// every set-key operation. Every non-zero code counts as success.
namespace corvel {

// Outcome of a set-key operation.
inline constexpr int kKeyNotSet = 0;
// No confirmation came, but the device answered a probe afterwards (for the local HomePlug 1.0
// device: its parameter block read back as sent).
inline constexpr int kKeyAnswering = 1;
// A HomePlug 1.0 / Turbo set-key confirmation (entry 0x06) came.
inline constexpr int kKeyHp10Confirmed = 2;
// An AV set-key confirmation with status 0 came.
inline constexpr int kKeyAvConfirmed = 4;

// A device to be given the network key. It is reached through the local device, which takes the
// request only under the device's own DAK (AV) or DEK (1.0 / Turbo), both derived from the
// password printed on it.
struct KeyTarget {
    std::string password;  // as the user typed it (at most 24 characters are expected)
    // The device's address, or the broadcast address while it is known by its password alone;
    // an add by password learns it from the device that answers.
    Mac mac = kBroadcastMac;
    int32_t result = 0;  // 1 once the device took the key
};

}  // namespace corvel
