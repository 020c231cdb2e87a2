// SPDX-License-Identifier: MIT
#pragma once

#include <optional>

#include "av/set_key.h"
#include "platform/mac.h"

// The network key of the local device: the one cabled to the selected host interface, which
// takes its own key without any device password.
namespace corvel {

// Sets `key` (16 bytes for AV, the first 8 otherwise) on the local device. With a host address,
// the interface that uses it is selected first (selectInterfaceByHostMac); when none does, the
// current one is kept. Returns:
// - AV: 4 when the set-key request (PEKS 0x0F) was confirmed within 100 ms, else 0;
// - Turbo: 2 when the local device confirmed the 35-byte set key within 3700 ms, else 0;
// - HomePlug 1.0: 1 when the parameter block read back as sent, else 0, also when the frame
//   went out. An unexpected failure is reported in the "setLocalNEK" box and gives 0.
// 0 without sending anything while the host's source address is all zero.
int setLocalNEK(const std::optional<Mac>& hostAddress, const NetworkKey& key);

// Puts the local device back on the network after remote work. AV: the NMK of the current
// station table's network name, stored as that table's key and in the local device's own
// device record, then set on the device. Turbo: the key the device reports is set again.
// HomePlug 1.0: the device's own key under key select 0 is restored (the remote work left a
// device's DEK there), then the NEK of the network name is set with its read-back.
// While the name is only the scan's "Unknown Networkname" (or empty), no key is derived from
// it: the local device gets the key it is known to hold. Returns the code of the local set.
int reapplyLocalKey();

// Puts `key` back on the local device after an operation was stopped: for a plain 1.0 device its
// own key under key select 0 first (as reapplyLocalKey does), then `key` with setLocalNEK.
// Returns the code of that set.
int restoreLocalKey(const NetworkKey& key);

// The key the local device is known to hold, as the last scan read it: the NMK (AV), the NEK the
// Turbo key query returned, or the NEK of the 1.0 parameter block. None while it is not known.
std::optional<NetworkKey> localKeyNow();

// Asks the local Turbo device for its network key and processes the replies for 100 ms;
// hp10NetworkKey receives the key. False when no key came.
bool readLocalTurboKey();

// readLocalTurboKey, but a lost reply is no failure while hp10NetworkKey holds the key an
// earlier read (the last scan's) brought. False only when no key was ever read.
bool refreshLocalTurboKey();

}  // namespace corvel
