// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "keys/derive.h"

// Which network the local device is on: its key is compared with the public default keys and
// with the keys the device list remembers, and the network gets a name: a public default name,
// a name from the device list, or "Unknown Networkname".
namespace corvel {

enum class NetworkFamily { Av, Turbo, HomePlug10 };

// "HomePlugAV" for AV, "HomePlug" for 1.0 and Turbo.
std::string_view publicNetworkName(NetworkFamily family);
// 16 bytes for AV (the NMK), 8 for 1.0 and Turbo (the NEK).
size_t networkKeyWidth(NetworkFamily family);

// The 8-byte forms in which a 1.0 or Turbo device reports the public network:
//   1. the NEK derived from "HomePlug", as the Turbo key read returns it;
//   2. key select 1 and the first seven bytes of that NEK, as bytes 14..21 of the parameter
//      block hold it;
//   3. a constant of this product: the second form with the parity bit (bit 0) of each key byte
//      clear. DES does not use the parity bits, so to the device it is the same key.
const std::array<Key8, 3>& publicHp10KeyForms();

// Whether `key` (16 bytes for AV, else 8) is the family's public network key.
bool isPublicKey(NetworkFamily family, const uint8_t* key);

// Names the network of the local device whose device record is `record` (1-based; 0 when the
// list had no room for it) from its freshly read `key`, into avNetworkName or hp10NetworkName:
//   - a pending name (networkNamePending) from the selected station table goes to the record
//     with the key, and becomes the network's name;
//   - a record new in this scan takes the name of the first record that knows the key, else
//     "Unknown Networkname" for a private key or the public name;
//   - a known record on a private key keeps its name when its stored key is this key; else takes
//     the name of the first record that knows the key; else, for AV once after keepNameOnce, keeps
//     everything; else becomes "Unknown Networkname" (its stored key stays);
//   - a known record on the public key takes the public name and the public key.
void nameNetwork(NetworkFamily family, const uint8_t* key, int record, bool recordIsNew);

}  // namespace corvel
