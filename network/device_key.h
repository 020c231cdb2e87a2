// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string_view>

#include "av/set_key.h"
#include "network/key_target.h"

namespace corvel {

// Gives one device the network key, through the local device, under the DAK (AV) or DEK
// (1.0 / Turbo) of `target.password`. With `byPassword` the device is addressed by broadcast
// and, with a 1.0 or Turbo local device, `target.mac` learns the address of the device that
// answered.
//
// The key: the NMK of `networkName` (AV; with `byPassword` the NMK the scan read from the local
// device instead), the NEK of `networkName` (1.0 / Turbo; while an add or a password check is
// pending, the local device's key saved by the random-key attempt before it), or, without a
// name, a random key (1.0 / Turbo only) after the local device's current key was saved. A 1.0 or
// Turbo local device is given the key first; when it does not confirm, a random key is taken
// back off it at once. Then up to 5 attempts, each failed one followed by 1000 ms. A random-key
// attempt that fails throughout puts the saved key back on the local device and sends it once
// more to the device.
//
// The scan is off meanwhile. True when the device took the key (`target.result` 1). False at
// once, with nothing sent, without a host source address, for a random key with an AV local
// device (nothing would bring the device back), or when the local device's current key cannot
// be read before a random-key attempt (it could not be put back).
//
// A stop asked for (operation_stop.h) ends the attempts in the wait after a failed one; a
// random-key attempt first puts the saved key back as above. OperationStopped is then thrown.
bool setDeviceKey(KeyTarget& target, std::optional<std::string_view> networkName, bool byPassword);

// Gives the device at `target.mac` the key `key` as it is (no name, no pending add): a 1.0 or
// Turbo local device first takes it itself, then up to 5 attempts as above. What puts a device
// back on the key it had before an operation that was stopped. True when the device took it.
bool giveDeviceKey(KeyTarget& target, const NetworkKey& key);

}  // namespace corvel
