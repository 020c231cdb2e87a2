// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/mac.h"
#include "transport/mme_frame.h"

// Reading the HomePlug 1.0 / Turbo answers the key operations wait for, straight from the
// receive path: every frame taken here is used up, as the scan is off meanwhile.
namespace corvel {

// Whether `frame` is a 1.0 frame whose first entry has type `type` and holds at least
// `dataBytes` bytes of data in the frame.
bool isHp10EntryFrame(const MmeFrame& frame, uint8_t type, size_t dataBytes = 0);
Mac frameSource(const MmeFrame& frame);
// Whether a device could send from `mac`: set, not a group address, not one of the host's own
// (couldBeDevice).
bool isDeviceAddress(const Mac& mac);

// The local 1.0 / Turbo device of the selected interface, as the observer learnt it.
Mac localHp10Mac();

// Waits up to `windowMs` (1 ms sleeps while nothing is waiting) for a set-key confirmation
// (entry 0x06) from `device`, or, while `device` is the broadcast address, from any device other
// than the local one. On success the sender's address is written into `device`.
bool awaitHp10SetKeyConfirm(Mac& device, uint32_t windowMs);

// Sleeps `ms` in steps of 1 ms on the system clock, taking no frames.
void pauseMs(uint32_t ms);

}  // namespace corvel
