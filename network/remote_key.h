// SPDX-License-Identifier: MIT
#pragma once

#include "av/set_key.h"
#include "platform/mac.h"

// The network key of a remote device. Only the device's own DAK (AV) or DEK (1.0 / Turbo),
// derived from its device password, lets the local device pass a key on to it. Every operation
// returns 0 without sending while the host's source address is all zero.
namespace corvel {

// Gives `newKey` (NMK or NEK) to the device at `device` under `accessKey` (its DAK or DEK).
// With `byPassword` the device is addressed through the broadcast address; with a 1.0 or Turbo
// local device the address of the device that answered is then written into `device` (and, for
// Turbo, becomes the expected address of the add in progress).
//
// HomePlug 1.0 sends three frames before waiting: the DEK under key select 0 to the local device
// with P2 marked, the NEK to the device, the marked parameter entry to the local device. The
// local device keeps the DEK under key select 0 until reapplyLocalKey restores its own key;
// every caller ends with it. Refused (0, nothing sent) while the local parameter block is
// unknown, as its parameter bytes could not be sent back unchanged.
//
// 4 AV-confirmed, 2 confirmed by the device, 1 unconfirmed but the device answers a probe,
// 0 failure.
int setRemoteKey(const NetworkKey& accessKey, const NetworkKey& newKey, Mac& device,
                 bool byPassword);

// The AV and Turbo request behind setRemoteKey: AV, the set-key request with PEKS 0x00 and
// RDA = `device` to the local device, which forwards it to the device whose DAK is `accessKey`;
// Turbo, one 41-byte broadcast whose inner set-key frame the local device sends on under the
// DEK. Then up to 3700 ms for the confirmation (Turbo: from `device`, or from any device but the
// local one while `device` is the broadcast address, whose address is then written into it) and,
// failing that, probeDevice. 0 with a plain 1.0 local device, which has its own sequence.
int sendRemoteKey(Mac& device, const NetworkKey& newKey, const NetworkKey& accessKey);

// Whether the device answers a query within 200 ms: Turbo, the 0x07 query by broadcast; plain
// 1.0, the 0x07 query to `device`; AV, a version request by broadcast. Only a 1.0 station answer
// (entry 0x08) counts: from `device`, or in `broadcastMode` from any device but the local one,
// whose address is then written into `device`. An AV version confirmation does not count: it
// does not tell whether the device took a new key, and in broadcast mode any station of the
// old network would answer it, so with an AV local device only the set-key confirmation decides.
bool probeDevice(Mac& device, bool broadcastMode);

}  // namespace corvel
